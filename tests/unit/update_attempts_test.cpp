#include "net/update_attempts.h"

#include <gtest/gtest.h>

namespace {

constexpr std::int64_t kMinute = 60 * 1000;

// No reply can make the assistant try more often than the floor.
TEST(UpdateAttempts, AttemptsComeNoMoreOftenThanTheFloor) {
  UpdateAttempts a;
  EXPECT_TRUE(a.MayTry("A", 0));
  a.Started(0);
  EXPECT_FALSE(a.MayTry("A", UpdateAttempts::kFloorMs - 1));
  EXPECT_FALSE(a.MayTry("B", kMinute));  // another announcement alike
  EXPECT_TRUE(a.MayTry("B", UpdateAttempts::kFloorMs));
}

TEST(UpdateAttempts, ARefusalBacksOffDoublingFromTheIntervalUpToADay) {
  struct Case {
    std::int64_t refreshMs;
    std::vector<std::int64_t> backoffs;  // after each refusal in a row
  };
  const std::int64_t day = UpdateAttempts::kMaxBackoffMs;
  for (const Case& c : {Case{60 * kMinute, {60 * kMinute, 120 * kMinute, 240 * kMinute, 480 * kMinute,
                                             960 * kMinute, day, day}},
                        Case{kMinute, {kMinute, 2 * kMinute, 4 * kMinute}},
                        Case{0, {1, 2, 4}},
                        Case{7 * day, {day, day}}}) {
    UpdateAttempts a;
    std::int64_t now = 0;
    for (std::int64_t expected : c.backoffs) {
      ASSERT_TRUE(a.MayTry("R", now)) << c.refreshMs << " at " << now;
      a.Started(now);
      EXPECT_EQ(a.Refused("R", now, c.refreshMs), expected) << c.refreshMs;
      const std::int64_t next = now + std::max(expected, UpdateAttempts::kFloorMs);
      EXPECT_FALSE(a.MayTry("R", next - 1));
      EXPECT_TRUE(a.MayTry("R", next));
      // Another release is not held back by this one's refusal.
      EXPECT_TRUE(a.MayTry("S", now + UpdateAttempts::kFloorMs));
      now = next;
    }
  }
}

TEST(UpdateAttempts, AReleaseThatDidNotComeUpIsNeverTriedAgain) {
  UpdateAttempts a;
  a.Started(0);
  a.FailedToStart("R");
  EXPECT_FALSE(a.MayTry("R", 100 * UpdateAttempts::kMaxBackoffMs));
  EXPECT_TRUE(a.MayTry("S", 100 * UpdateAttempts::kMaxBackoffMs));
}

TEST(UpdateAttempts, WhatIsRememberedIsBounded) {
  UpdateAttempts a;
  // Announcements that change with every exchange: the memory keeps the
  // newest, within its bound, and the newest refusal still holds.
  for (int i = 0; i < 1000; ++i) a.Refused("R" + std::to_string(i), i, UpdateAttempts::kMaxBackoffMs);
  EXPECT_FALSE(a.MayTry("R999", 1000));
}

}  // namespace
