#include "central/http/rate_limit.h"

#include <algorithm>

bool RateLimiter::Take(Bucket& bucket, bool fresh, std::int64_t nowMs) {
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

bool RateLimiter::Allow(const std::string& sender, std::int64_t nowMs) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = buckets_.find(sender);
  if (it == buckets_.end() && buckets_.size() >= maxSenders_ && nowMs - lastSweepMs_ >= 1000) {
    // A bucket untouched for as long as a refill from empty takes is full
    // again: forgetting it changes nothing.
    const std::int64_t fullAfterMs = static_cast<std::int64_t>(burst_) * 1000 / std::max(1, perSecond_) + 1;
    std::erase_if(buckets_, [&](const auto& item) { return nowMs - item.second.lastMs > fullAfterMs; });
    lastSweepMs_ = nowMs;
  }
  if (it == buckets_.end() && buckets_.size() >= maxSenders_) {
    const bool fresh = strangersFresh_;
    strangersFresh_ = false;
    return Take(strangers_, fresh, nowMs);
  }
  bool fresh = false;
  if (it == buckets_.end()) {
    it = buckets_.try_emplace(sender).first;
    fresh = true;
  }
  return Take(it->second, fresh, nowMs);
}

std::size_t RateLimiter::Senders() {
  std::lock_guard<std::mutex> lock(mutex_);
  return buckets_.size();
}
