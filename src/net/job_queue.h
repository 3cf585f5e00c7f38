// The queue of the network worker: jobs (an exchange, a list request, a
// download) run one at a time, in the order posted, on one worker thread, so
// the window thread never waits on the network. A job hands what it brings
// back as results, small pieces of work the window thread runs in the order
// they were delivered; nothing of the window thread's state is touched on the
// worker. Stopping sets a flag the jobs read between their waits (the sockets'
// own time-outs bound each wait) and drops what was not started.
#pragma once
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <vector>

class JobQueue;

// What a running job sees of its queue.
class JobContext {
 public:
  explicit JobContext(JobQueue& queue) : queue_(queue) {}
  // True once the queue was told to stop: the job ends as soon as it can.
  bool Stopping() const;
  // Waits `ms` milliseconds or until stopped; false when stopped.
  bool Pause(int ms);
  // Hands `apply` to the window thread, after what this job delivered before.
  void Deliver(std::function<void()> apply);
  // The stop flag itself, for code that polls it (the downloader).
  const std::atomic<bool>& StopFlag() const;

 private:
  JobQueue& queue_;
};

class JobQueue {
 public:
  // Jobs waiting at once; a job posted beyond is dropped (hit reports behind
  // a long download are the only jobs that pile up).
  static constexpr std::size_t kMaxWaitingJobs = 64;

  using Job = std::function<void(JobContext&)>;
  using Result = std::function<void()>;

  // `resultsReady` is called on the worker after each delivery (the window
  // layer posts its window a message); it must not block.
  explicit JobQueue(std::function<void()> resultsReady = {}) : resultsReady_(std::move(resultsReady)) {}

  // Window thread: queues a job; ignored once stopped or full.
  void Post(Job job);
  // Worker: waits for the next job and runs it; false once stopped (the
  // worker's loop ends). With `wait` false, returns false at once when no
  // job is queued.
  bool RunNext(bool wait = true);
  // Window thread: the results delivered so far, oldest first.
  std::vector<Result> TakeResults();
  // Any thread: sets the stop flag, drops the jobs not started and wakes the
  // worker and any pause.
  void Stop();
  bool Stopped() const { return stop_.load(); }
  // The stop flag, for code that polls it (the downloader).
  const std::atomic<bool>& StopFlag() const { return stop_; }
  // True while a job is queued or running.
  bool Busy() const;

 private:
  friend class JobContext;
  bool Pause(int ms);
  void Deliver(Result apply);

  std::function<void()> resultsReady_;
  std::atomic<bool> stop_{false};
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<Job> jobs_;
  std::vector<Result> results_;
  bool running_ = false;
};
