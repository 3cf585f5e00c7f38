#include "central/rate_limit.h"

#include <algorithm>

bool RateLimiter::Allow(const std::string& sender, std::int64_t nowMs) {
  std::lock_guard<std::mutex> lock(mutex_);
  // Senders quiet for a minute are forgotten (their bucket would be full
  // again anyway), so spoofed addresses cannot grow the table without end.
  if (nowMs - lastSweepMs_ > 60000) {
    std::erase_if(buckets_, [&](const auto& item) { return nowMs - item.second.lastMs > 60000; });
    lastSweepMs_ = nowMs;
  }
  auto [it, fresh] = buckets_.try_emplace(sender);
  Bucket& bucket = it->second;
  if (fresh) {
    bucket.tokens = burst_;
  } else {
    const double refill = static_cast<double>(std::max<std::int64_t>(0, nowMs - bucket.lastMs)) * perSecond_ / 1000.0;
    bucket.tokens = std::min<double>(burst_, bucket.tokens + refill);
  }
  bucket.lastMs = nowMs;
  if (bucket.tokens < 1) return false;
  bucket.tokens -= 1;
  return true;
}
