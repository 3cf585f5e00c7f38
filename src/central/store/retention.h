// The service's own retention of what outside senders add without end: hits
// and notices older than CentralConfig::retentionDays are removed once at
// start and then once a day, a few hundred rows at a time with a pause
// between, so the exchanges waiting on the store wait only a moment.
#pragma once
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

#include "central/store/store.h"

// Removes the hits and notices older than `before` (Unix seconds), `batch`
// of each per step, with `pause` run between steps (false: stop early).
// Returns how many rows went; -1 when the store refused.
std::int64_t PruneOldEvents(CentralStore& store, std::int64_t before, int batch,
                            const std::function<bool()>& pause);

class EventRetention {
 public:
  EventRetention(CentralStore& store, int days);
  ~EventRetention();
  EventRetention(const EventRetention&) = delete;
  EventRetention& operator=(const EventRetention&) = delete;

  void Start();
  void Stop();

 private:
  void Run();
  // Waits `ms` or until Stop; false when stopped.
  bool Wait(int ms);

  CentralStore& store_;
  const int days_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool stop_ = false;
  std::thread thread_;
};
