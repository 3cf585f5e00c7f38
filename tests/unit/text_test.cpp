#include "util/text.h"

#include <gtest/gtest.h>

TEST(FormatDuration, RendersDaysAndPaddedClock) {
  EXPECT_EQ(FormatDuration(0), "0d 00:00:00");
  EXPECT_EQ(FormatDuration(86399), "0d 23:59:59");
  EXPECT_EQ(FormatDuration(93784), "1d 02:03:04");
}
