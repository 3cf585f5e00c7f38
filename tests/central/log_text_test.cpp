#include "central/base/log_text.h"

#include <gtest/gtest.h>

namespace {

TEST(LogText, IdNumbersAreMaskedAndTheRestKept) {
  struct Case {
    const char* text;
    const char* masked;
  } cases[] = {
      {"330102199003074415", "330*************15"},
      {"hit 11010519491231002X at bar 3301", "hit 110*************2X at bar 3301"},
      {"11010519491231002x", "110*************2x"},
      {"bar 3301, 12345 and 123456", "bar 3301, 12345 and 123*56"},
      {"#x 2024-01-02 reason", "#x 2024-01-02 reason"},
      {"", ""},
      {"X330102199003074415", "X330*************15"},
  };
  for (const Case& c : cases) EXPECT_EQ(MaskIdNumbers(c.text), c.masked) << c.text;
}

TEST(LogText, ACutNeverSplitsACharacter) {
  const std::string text = "ab\xE6\x98\x9F\xE7\xA9\xBA";  // "ab" and two characters of three bytes
  struct Case {
    std::size_t max;
    std::string kept;
  } cases[] = {{100, text}, {8, text}, {7, "ab\xE6\x98\x9F"}, {5, "ab\xE6\x98\x9F"}, {4, "ab"}, {2, "ab"}, {1, "a"}, {0, ""}};
  for (const Case& c : cases) EXPECT_EQ(CutUtf8(text, c.max), c.kept) << c.max;
}

}  // namespace
