#include "util/text.h"

#include <gtest/gtest.h>

namespace {

TEST(FindText, PositionsAndStartRulesTable) {
  struct Case { const char* sub; std::string text; bool ignoreCase; int start; int expected; };
  const Case cases[] = {
      {"abc", "xABC", true, 1, 2},
      {"abc", "xABC", false, 1, 0},
      {"[", "{", true, 1, 0},           // only letters fold: brace is not bracket
      {"b", "abcb", false, 3, 4},
      {"b", "abcb", false, 5, 0},       // start past the last candidate
      {"abcd", "abc", false, 1, 0},     // sub longer than text
      {"ab", "ab", false, 1, 1},
      {"c", "abc", false, 0, 3},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FindText(c.sub, c.text, c.ignoreCase, c.start), c.expected)
        << c.sub << " in " << c.text << " from " << c.start;
  }
}

TEST(FindText, NeverMatchesOnTheTrailByteOfADoubleByteCharacter) {
  // "网" is B7 F8 in GBK; "吧" is B0 C9. A sub starting with F8 or C9 must not
  // be found inside those characters, even with ignore case.
  const std::string text = "网吧";
  EXPECT_EQ(FindText("\xF8\xB0", text, false, 1), 0);
  EXPECT_EQ(FindText("\xC9", text, true, 1), 0);
  EXPECT_EQ(FindText("吧", text, false, 1), 3);
  // "@" (0x40) is a valid GBK trail byte: "丂" is 81 40.
  EXPECT_EQ(FindText("@", "丂@", false, 1), 3);
}

TEST(ReplaceAll, ReplacesLeftToRightWithoutRescanning) {
  EXPECT_EQ(ReplaceAll("aaaa", "aa", "a", true), "aa");
  EXPECT_EQ(ReplaceAll("Abc abc", "ABC", "x", false), "x x");
  EXPECT_EQ(ReplaceAll("Abc abc", "ABC", "x", true), "Abc abc");
  EXPECT_EQ(ReplaceAll("a+b", "+", "%2B", true), "a%2Bb");
  EXPECT_EQ(ReplaceAll("", "a", "b", true), "");
  EXPECT_EQ(ReplaceAll("abc", "", "b", true), "abc");
  EXPECT_EQ(ReplaceAll("丂@@", "@", "#", true), "丂##");  // the trail byte of 丂 is not an "@"
}

TEST(CountAndSplit, CountsWithoutOverlapAndSplitsIntoExactlyCountPieces) {
  EXPECT_EQ(CountOccurrences("aaaa", "aa"), 2);
  EXPECT_EQ(CountOccurrences("1\t2\t3\t4", "\t"), 3);
  EXPECT_EQ(CountOccurrences("abc", ""), 0);
  using V = std::vector<std::string>;
  EXPECT_EQ(SplitText("a b c d", ' ', 4), (V{"a", "b", "c", "d"}));
  EXPECT_EQ(SplitText("a b ", ' ', 3), (V{"a", "b", ""}));
  EXPECT_EQ(SplitText("a b c", ' ', 2), (V{"a", "b c"}));
  EXPECT_EQ(SplitText("", ' ', 2), (V{"", ""}));
  EXPECT_EQ(SplitText("a", ' ', 3), (V{"a", "", ""}));
  EXPECT_EQ(TextBeforeSpace("110101 张三"), "110101");
  EXPECT_EQ(TextBeforeSpace("nospace"), "nospace");
}

TEST(CheckIdNumber, CodesInOrderOfTheChecks) {
  const CalendarDate today{2026, 12, 10};
  struct Case { std::string id; int code; };
  const Case cases[] = {
      {"11010119900307123", -1},
      {"110101199003071234", 1},
      {"11010119900307123X", 1},
      {"11010119900307123x", 1},
      {"11010119900307123456", 1},    // characters after the 18th are not examined
      {"1101011990030712A4", -2},
      {"11010119900307123Y", -3},
      {"100101199003071234", -4},
      {"830101199003071234", -4},
      {"820101199003071234", 1},
      {"110101199002301234", -5},     // 30 February
      {"110101190002291234", -5},     // 1900 is not a leap year
      {"110101200002291234", 1},      // 2000 is
      {"110101199013011234", -5},
      {"110101190009301234", -6},     // before 1900-10-01
      {"110101190010011234", 1},
      {"110101202612111234", -6},     // tomorrow
      {"110101202612101234", 1},      // today
  };
  for (const auto& c : cases) EXPECT_EQ(CheckIdNumber(c.id, today), c.code) << c.id;
}

TEST(FormatDuration, RendersDaysAndPaddedClock) {
  EXPECT_EQ(FormatDuration(0), "0d 00:00:00");
  EXPECT_EQ(FormatDuration(86399), "0d 23:59:59");
  EXPECT_EQ(FormatDuration(93784), "1d 02:03:04");
  EXPECT_EQ(FormatDuration(26 * 3600 + 5 * 60 + 3), "1d 02:05:03");
  EXPECT_EQ(FormatDuration(400 * 86400LL), "400d 00:00:00");
}

TEST(LocalToUnixTime, LocalClockIsEightHoursAheadOfUtc) {
  EXPECT_EQ(LocalToUnixTime(LocalDays(1970, 1, 1, 8, 0, 0, 0)), 0);
  EXPECT_EQ(LocalToUnixTime(LocalDays(2024, 3, 7, 9, 5, 3, 0)), 1709773503);
  EXPECT_EQ(LocalToUnixTime(25569.0), -28800);
  EXPECT_EQ(LocalToUnixTime(LocalDays(2024, 3, 7, 9, 5, 3, 400)), 1709773503);  // rounded
}

TEST(TextHelpers, SameTextAsciiAndParseDecimal) {
  EXPECT_TRUE(SameTextAscii("C:\\Prog\\a.EXE", "c:\\prog\\A.exe"));
  EXPECT_FALSE(SameTextAscii("ab", "abc"));
  EXPECT_FALSE(SameTextAscii("网", "网 "));
  struct Case { const char* text; std::optional<int> value; };
  const Case cases[] = {{"63", 63}, {"-5", -5}, {" 7", 7}, {"abc", std::nullopt},
                        {"", std::nullopt}, {"12a", std::nullopt}, {"$10", std::nullopt},
                        {"2147483647", 2147483647}, {"2147483648", std::nullopt},
                        {"-2147483648", -2147483647 - 1}};
  for (const auto& c : cases) EXPECT_EQ(ParseDecimal(c.text), c.value) << c.text;
}

}  // namespace

namespace {

TEST(GbkCut, CutsOnlyOnCharacterBoundariesOfCodePage936) {
  struct Case { std::string text; std::size_t max; std::size_t length; std::size_t from; };
  const Case cases[] = {
      {"abc", 2, 2, 2},
      {"a张b", 2, 1, 3},        // the cut would split 张: round down, the rest starts after it
      {"a张b", 3, 3, 3},
      {"张三", 1, 0, 2},
      {"\x80张", 2, 1, 3},     // 0x80 is one byte (the euro sign), not a lead byte
      {"\xFF\xD5\xC5", 2, 1, 3},  // 0xFF is one byte too
      {"\x81\x40\x81", 3, 3, 3},  // a lead byte at the very end stands alone
      {"abc", 9, 3, 3},
      {"", 4, 0, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(GbkCutLength(c.text, c.max), c.length) << c.text << " " << c.max;
    EXPECT_EQ(GbkBoundaryFrom(c.text, c.max), std::min(c.from, c.text.size())) << c.text << " " << c.max;
  }
}

}  // namespace
