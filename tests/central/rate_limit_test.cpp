#include "central/http/rate_limit.h"

#include <gtest/gtest.h>

namespace {

int Allowed(RateLimiter& limiter, const std::string& sender, std::int64_t atMs, int tries) {
  int allowed = 0;
  for (int i = 0; i < tries; ++i) allowed += limiter.Allow(sender, atMs) ? 1 : 0;
  return allowed;
}

TEST(RateLimiter, AFloodGetsTheBurstThenTheRate) {
  RateLimiter limiter(20, 100);
  EXPECT_EQ(Allowed(limiter, "10.0.0.5", 1000, 5000), 100);  // the burst
  EXPECT_EQ(Allowed(limiter, "10.0.0.5", 1500, 5000), 10);   // half a second at 20/s
  EXPECT_EQ(Allowed(limiter, "10.0.0.5", 1500, 5000), 0);
  // Another cafe is not held back by the flood.
  EXPECT_EQ(Allowed(limiter, "10.0.0.6", 1500, 3), 3);
  // A long quiet refills no more than the burst.
  EXPECT_EQ(Allowed(limiter, "10.0.0.5", 3'600'000, 5000), 100);
}

TEST(RateLimiter, AClockThatGoesBackGivesNothingExtra) {
  RateLimiter limiter(10, 10);
  EXPECT_EQ(Allowed(limiter, "a", 50'000, 20), 10);
  EXPECT_EQ(Allowed(limiter, "a", 40'000, 20), 0);
}

TEST(RateLimiter, ForgetsQuietSendersSoSpoofedAddressesCannotPileUp) {
  RateLimiter limiter(1, 1);
  for (int i = 0; i < 10000; ++i) limiter.Allow("sender" + std::to_string(i), 0);
  // After a quiet minute the table is swept; the sender starts with a full bucket.
  EXPECT_TRUE(limiter.Allow("sender1", 120'000));
  EXPECT_FALSE(limiter.Allow("sender1", 120'000));
}

TEST(RateLimiter, ForgedSendersWithinAMinuteKeepTheTableAtItsBoundAndShareOneBucket) {
  RateLimiter limiter(20, 100, 1000);
  int strangersAllowed = 0;
  for (int i = 0; i < 100000; ++i) {
    const bool allowed = limiter.Allow("127.0." + std::to_string(i / 256) + "." + std::to_string(i % 256), i / 100);
    if (i >= 1000) strangersAllowed += allowed ? 1 : 0;
  }
  EXPECT_EQ(limiter.Senders(), 1000u);
  // The 99 000 strangers of that second had one bucket: its burst and a second's rate.
  EXPECT_LE(strangersAllowed, 100 + 20);
  // A known sender keeps its own bucket meanwhile.
  EXPECT_TRUE(limiter.Allow("127.0.0.1", 1000));
  // Once the known buckets are full again they make room for new senders.
  EXPECT_EQ(Allowed(limiter, "10.9.9.9", 20'000, 3), 3);
  EXPECT_EQ(limiter.Senders(), 1u);
}

}  // namespace
