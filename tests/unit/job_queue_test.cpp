#include "net/job_queue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace {

// Jobs posted from the test thread run one at a time, in order, on a real
// worker thread; their results come back in delivery order.
TEST(JobQueue, RunsJobsInOrderOnTheWorkerAndHandsResultsBackInOrder) {
  std::atomic<int> ready{0};
  JobQueue queue([&ready] { ++ready; });
  std::atomic<int> running{0};
  std::atomic<bool> overlapped{false};
  std::vector<std::string> applied;  // touched by results only: the test thread
  for (int n = 1; n <= 5; ++n) {
    queue.Post([&, n](JobContext& job) {
      if (++running > 1) overlapped = true;
      job.Deliver([&applied, n] { applied.push_back("start " + std::to_string(n)); });
      std::this_thread::yield();
      job.Deliver([&applied, n] { applied.push_back("end " + std::to_string(n)); });
      --running;
    });
  }
  std::thread worker([&queue] {
    while (queue.RunNext()) {
    }
  });
  while (ready < 10) std::this_thread::yield();
  queue.Stop();
  worker.join();

  for (auto& apply : queue.TakeResults()) apply();
  EXPECT_FALSE(overlapped);
  EXPECT_EQ(applied, (std::vector<std::string>{"start 1", "end 1", "start 2", "end 2", "start 3", "end 3",
                                               "start 4", "end 4", "start 5", "end 5"}));
}

// A job pausing for a minute ends at once when the queue stops; the jobs
// behind it never run, and nothing delivered after the stop is applied.
TEST(JobQueue, StopCutsAPauseShortAndDropsWhatWasNotStarted) {
  JobQueue queue;
  std::atomic<bool> paused{false};
  std::atomic<bool> pauseResult{true};
  bool laterJobRan = false;
  queue.Post([&](JobContext& job) {
    paused = true;
    pauseResult = job.Pause(60000);
    job.Deliver([] {});
  });
  queue.Post([&](JobContext&) { laterJobRan = true; });
  std::thread worker([&queue] {
    while (queue.RunNext()) {
    }
  });
  while (!paused) std::this_thread::yield();
  EXPECT_TRUE(queue.Busy());
  queue.Stop();
  worker.join();

  EXPECT_FALSE(pauseResult);
  EXPECT_FALSE(laterJobRan);
  EXPECT_TRUE(queue.TakeResults().empty());
  EXPECT_TRUE(queue.StopFlag());
  queue.Post([&](JobContext&) { laterJobRan = true; });
  EXPECT_FALSE(queue.RunNext(false));
  EXPECT_FALSE(laterJobRan);
}

TEST(JobQueue, AJobThatThrowsLeavesTheWorkerRunning) {
  JobQueue queue;
  int ran = 0;
  queue.Post([](JobContext&) { throw std::bad_alloc(); });
  queue.Post([&ran](JobContext& job) {
    ++ran;
    job.Deliver([] {});
  });
  EXPECT_TRUE(queue.RunNext(false));
  EXPECT_TRUE(queue.RunNext(false));
  EXPECT_FALSE(queue.RunNext(false));  // nothing queued: no wait
  EXPECT_EQ(ran, 1);
  EXPECT_EQ(queue.TakeResults().size(), 1u);
  EXPECT_FALSE(queue.Busy());
}

// Jobs pile up only behind a running one; the queue keeps a bounded number.
TEST(JobQueue, HoldsABoundedNumberOfWaitingJobs) {
  JobQueue queue;
  int ran = 0;
  for (std::size_t n = 0; n < JobQueue::kMaxWaitingJobs + 10; ++n) queue.Post([&ran](JobContext&) { ++ran; });
  while (queue.RunNext(false)) {
  }
  EXPECT_EQ(ran, static_cast<int>(JobQueue::kMaxWaitingJobs));
}

}  // namespace
