#include "net/network_worker_win.h"

namespace {
struct ThreadStart {
  std::shared_ptr<void> keep;
  JobQueue* queue;
};
}  // namespace

NetworkWorker::~NetworkWorker() {
  Stop(0);
  if (thread_) CloseHandle(thread_);
}

bool NetworkWorker::Start(HWND window, UINT message) {
  if (thread_) return true;
  shared_->window = window;
  shared_->message = message;
  auto* start = new ThreadStart{shared_, &shared_->queue};
  thread_ = CreateThread(nullptr, 0, ThreadMain, start, 0, nullptr);
  if (!thread_) delete start;
  return thread_ != nullptr;
}

DWORD WINAPI NetworkWorker::ThreadMain(LPVOID parameter) {
  std::unique_ptr<ThreadStart> start(static_cast<ThreadStart*>(parameter));
  while (start->queue->RunNext()) {
  }
  return 0;
}

bool NetworkWorker::Stop(DWORD ms) {
  shared_->queue.Stop();
  if (!thread_) return true;
  return WaitForSingleObject(thread_, ms) == WAIT_OBJECT_0;
}

bool NetworkWorker::Running() const {
  return thread_ && WaitForSingleObject(thread_, 0) == WAIT_TIMEOUT;
}
