#include "app/process_env.h"

#include <gtest/gtest.h>

#include "util/text.h"

TEST(SecondsBetween, WholeSecondsEitherWayAcrossDays) {
  const LocalTime start{2024, 2, 28, 22, 0, 0, 900};
  EXPECT_EQ(SecondsBetween(start, {2024, 2, 28, 22, 0, 1, 899}), 0);  // truncated
  EXPECT_EQ(SecondsBetween(start, {2024, 3, 1, 0, 5, 3, 900}), 26 * 3600 + 5 * 60 + 3);  // over 29 February
  EXPECT_EQ(SecondsBetween({2024, 2, 29, 0, 5, 3, 900}, start), 2 * 3600 + 5 * 60 + 3);  // clock set back
  EXPECT_EQ(FormatDuration(SecondsBetween(start, {2024, 2, 29, 0, 5, 3, 900})), "0d 02:05:03");
}
