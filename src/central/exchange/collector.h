// The collector: receives the assistants' notice datagrams (UDP) and records
// each in the store. A flood from one sender is cut down to
// CentralConfig::noticesPerSecond (and all senders together to twenty times
// that); datagrams that are not a notice's shape are refused. Both are
// counted and logged, not recorded. The table keeps the newest
// CentralConfig::maxNotices; a notice the store cannot take is counted and
// the collector goes on.
#pragma once
#include <atomic>
#include <cstdint>
#include <string>
#include <thread>

#include "central/config/central_config.h"
#include "central/http/rate_limit.h"
#include "central/store/store.h"

class NoticeCollector {
 public:
  NoticeCollector(const CentralConfig& config, CentralStore& store);
  ~NoticeCollector();
  NoticeCollector(const NoticeCollector&) = delete;
  NoticeCollector& operator=(const NoticeCollector&) = delete;

  // Binds the UDP port (0: any free port) and starts receiving.
  [[nodiscard]] bool Start(std::string& error);
  void Stop();
  int Port() const { return port_; }

  std::int64_t Recorded() const { return recorded_; }
  std::int64_t Refused() const { return refused_; }
  std::int64_t Dropped() const { return dropped_; }
  std::int64_t NotStored() const { return notStored_; }  // the store refused the write
  std::int64_t Removed() const { return removed_; }      // the oldest, removed for room

 private:
  void Receive();

  CentralConfig config_;
  CentralStore& store_;
  RateLimiter limiter_;
  // All senders together: forged sender addresses each start with a full
  // bucket, so the store is also guarded as a whole.
  RateLimiter allLimiter_;
  int socket_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::thread thread_;
  std::atomic<std::int64_t> recorded_{0};
  std::atomic<std::int64_t> refused_{0};
  std::atomic<std::int64_t> dropped_{0};
  std::atomic<std::int64_t> notStored_{0};
  std::atomic<std::int64_t> removed_{0};
};
