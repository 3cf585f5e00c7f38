// Per-sender limit on what a flood can make the service record: a token
// bucket per address, refilled at `perSecond`, holding at most `burst`.
// Times are passed in (milliseconds of a steady clock) so tests are exact.
#pragma once
#include <cstdint>
#include <map>
#include <mutex>
#include <string>

class RateLimiter {
 public:
  RateLimiter(int perSecond, int burst) : perSecond_(perSecond), burst_(burst) {}

  // True when `sender` may have one more at `nowMs`.
  bool Allow(const std::string& sender, std::int64_t nowMs);

 private:
  struct Bucket {
    double tokens = 0;
    std::int64_t lastMs = 0;
  };
  const int perSecond_;
  const int burst_;
  std::mutex mutex_;
  std::map<std::string, Bucket> buckets_;
  std::int64_t lastSweepMs_ = 0;
};
