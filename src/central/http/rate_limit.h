// Per-sender limit on what a flood can make the service record: a token
// bucket per address, refilled at `perSecond`, holding at most `burst`.
// Times are passed in (milliseconds of a steady clock) so tests are exact.
// The table holds at most `maxSenders` buckets, whatever the senders forge:
// when it is full, buckets full again by now are forgotten (a new one would
// be the same), and while it is still full every new sender shares one
// bucket of strangers.
#pragma once
#include <cstdint>
#include <map>
#include <mutex>
#include <string>

class RateLimiter {
 public:
  RateLimiter(int perSecond, int burst, std::size_t maxSenders = 4096)
      : perSecond_(perSecond), burst_(burst), maxSenders_(maxSenders) {}

  // True when `sender` may have one more at `nowMs`.
  bool Allow(const std::string& sender, std::int64_t nowMs);

  // Buckets kept now (the strangers' one not counted).
  std::size_t Senders();

 private:
  struct Bucket {
    double tokens = 0;
    std::int64_t lastMs = 0;
  };
  bool Take(Bucket& bucket, bool fresh, std::int64_t nowMs);

  const int perSecond_;
  const int burst_;
  const std::size_t maxSenders_;
  std::mutex mutex_;
  std::map<std::string, Bucket> buckets_;
  Bucket strangers_;
  bool strangersFresh_ = true;
  std::int64_t lastSweepMs_ = 0;
};
