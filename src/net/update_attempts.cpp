#include "net/update_attempts.h"

#include <algorithm>
#include <iterator>

bool UpdateAttempts::MayTry(const std::string& identity, std::int64_t now) const {
  if (neverAgain_.count(identity)) return false;
  if (started_ && now - lastStart_ < kFloorMs) return false;
  const auto it = refused_.find(identity);
  return it == refused_.end() || now >= it->second.until;
}

void UpdateAttempts::Started(std::int64_t now) {
  started_ = true;
  lastStart_ = now;
}

std::int64_t UpdateAttempts::Refused(const std::string& identity, std::int64_t now, std::int64_t refreshMs) {
  // Whatever is announced is remembered, so the memory is bounded: a
  // refusal whose back-off has run out is forgotten first.
  if (refused_.size() >= kMaxRemembered && !refused_.count(identity)) {
    for (auto it = refused_.begin(); it != refused_.end();) {
      it = it->second.until <= now ? refused_.erase(it) : std::next(it);
    }
    if (refused_.size() >= kMaxRemembered) refused_.erase(refused_.begin());
  }
  Refusal& r = refused_[identity];
  const std::int64_t first = std::clamp<std::int64_t>(refreshMs, 1, kMaxBackoffMs);
  r.backoffMs = r.backoffMs == 0 ? first : std::min(r.backoffMs * 2, kMaxBackoffMs);
  r.until = now + r.backoffMs;
  return r.backoffMs;
}
