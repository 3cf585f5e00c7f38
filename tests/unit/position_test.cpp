#include "settings/position.h"

#include <gtest/gtest.h>

TEST(ParsePosition, ReadsLeftAndTopOrZero) {
  struct Case {
    const char* text;
    int left, top;
    bool set;
  } cases[] = {
      {"1024.150", 1024, 150, true},
      {"-1280.40", -1280, 40, true},
      {"-100.100", -100, 100, false},  // adds up to 0: not remembered
      {"1920", 0, 0, false},           // no point
      {"0.0", 0, 0, false},
      {"", 0, 0, false},
      {"abc.12", 0, 12, true},
      {"12.x", 12, 0, true},
      {"1.2.3", 1, 0, true},  // the top side "2.3" is not an integer
      {"99999999999.5", 0, 5, true},  // beyond 32 bits
      {"2147483647.1", 2147483647, 1, true},  // the sum leaves 32 bits
      {"-2147483648.-2147483648", -2147483647 - 1, -2147483647 - 1, true},
  };
  for (const Case& c : cases) {
    ScreenPosition p = ParsePosition(c.text);
    EXPECT_EQ(p.left, c.left) << c.text;
    EXPECT_EQ(p.top, c.top) << c.text;
    EXPECT_EQ(p.IsSet(), c.set) << c.text;
  }
}

TEST(ParsePosition, RoundTripsWhatIsWritten) {
  EXPECT_EQ(FormatPosition(-1280, 0), "-1280.0");
  ScreenPosition p = ParsePosition(FormatPosition(2944, -7));
  EXPECT_EQ(p.left, 2944);
  EXPECT_EQ(p.top, -7);
}
