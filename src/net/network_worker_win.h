// The network worker's thread: runs the jobs of its queue one at a time and
// posts the window a message whenever results are ready, so the window
// thread applies them between its other messages.
#pragma once
#include <windows.h>

#include <memory>

#include "net/job_queue.h"

class NetworkWorker {
 public:
  NetworkWorker() = default;
  ~NetworkWorker();
  NetworkWorker(const NetworkWorker&) = delete;
  NetworkWorker& operator=(const NetworkWorker&) = delete;

  // Starts the thread; `message` is posted to `window` when results wait.
  bool Start(HWND window, UINT message);
  JobQueue& Queue() { return shared_->queue; }
  // Tells the worker to stop and waits for it at most `ms` milliseconds;
  // true when the thread has ended (or never ran). A job blocked in a socket
  // wait ends at the socket's own time-out; the program need not wait that
  // long.
  bool Stop(DWORD ms);
  bool Running() const;

 private:
  struct Shared {
    HWND window = nullptr;
    UINT message = 0;
    JobQueue queue{[this] {
      if (window) PostMessageA(window, message, 0, 0);
    }};
  };
  static DWORD WINAPI ThreadMain(LPVOID parameter);

  // Shared with the thread, which keeps it alive should it outlast this.
  std::shared_ptr<Shared> shared_ = std::make_shared<Shared>();
  HANDLE thread_ = nullptr;
};
