#include "net/job_queue.h"

// std::chrono comes with <condition_variable>; <chrono> itself does not
// compile with the GBK execution character set.

bool JobContext::Stopping() const { return queue_.Stopped(); }
bool JobContext::Pause(int ms) { return queue_.Pause(ms); }
void JobContext::Deliver(std::function<void()> apply) { queue_.Deliver(std::move(apply)); }
const std::atomic<bool>& JobContext::StopFlag() const { return queue_.StopFlag(); }

void JobQueue::Post(Job job) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    // A job waits behind the running one (a download may take minutes): the
    // queue holds at most kMaxWaitingJobs, and refuses more.
    if (stop_ || jobs_.size() >= kMaxWaitingJobs) return;
    jobs_.push_back(std::move(job));
  }
  wake_.notify_all();
}

bool JobQueue::RunNext(bool wait) {
  Job job;
  {
    std::unique_lock<std::mutex> lock(mutex_);
    if (wait) wake_.wait(lock, [this] { return stop_ || !jobs_.empty(); });
    if (stop_ || jobs_.empty()) return false;
    job = std::move(jobs_.front());
    jobs_.pop_front();
    running_ = true;
  }
  JobContext context(*this);
  try {
    job(context);
  } catch (...) {
    // Only memory can run out in a job; the worker goes on with the next.
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    running_ = false;
  }
  return !stop_;
}

std::vector<JobQueue::Result> JobQueue::TakeResults() {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<Result> taken;
  taken.swap(results_);
  return taken;
}

void JobQueue::Stop() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
    jobs_.clear();
  }
  wake_.notify_all();
}

bool JobQueue::Busy() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return running_ || !jobs_.empty();
}

bool JobQueue::Pause(int ms) {
  std::unique_lock<std::mutex> lock(mutex_);
  return !wake_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return stop_.load(); });
}

void JobQueue::Deliver(Result apply) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (stop_) return;
    results_.push_back(std::move(apply));
  }
  if (resultsReady_) resultsReady_();
}
