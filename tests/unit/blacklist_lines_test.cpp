#include "blacklist/blacklist_lines.h"

#include <gtest/gtest.h>

#include "crypto/envelope.h"

namespace {

const CalendarDate kToday{2024, 3, 7};

std::vector<std::string> Split(const std::vector<std::string>& pieces, std::size_t max = 100) {
  std::vector<std::string> lines;
  LineSplitter splitter(max, [&](std::string_view line) { lines.emplace_back(line); });
  for (const auto& p : pieces) splitter.Feed(p);
  splitter.Finish();
  return lines;
}

TEST(LineSplitter, EveryLineEndAlsoAcrossPieces) {
  using V = std::vector<std::string>;
  EXPECT_EQ(Split({"a\r\nb\nc\rd"}), (V{"a", "b", "c", "d"}));
  EXPECT_EQ(Split({"a\r", "\nb"}), (V{"a", "b"}));          // CR LF cut between pieces
  EXPECT_EQ(Split({"a\r", "\rb"}), (V{"a", "", "b"}));      // CR CR is two line ends
  EXPECT_EQ(Split({"a\n\nb\r\n"}), (V{"a", "", "b"}));      // no line after the last end
  EXPECT_EQ(Split({""}), V{});
}

TEST(LineSplitter, DropsOverlongLinesWholeAndGoesOn) {
  using V = std::vector<std::string>;
  const std::string longLine(50, 'x');
  EXPECT_EQ(Split({"ok\n" + longLine + "\nnext"}, 10), (V{"ok", "next"}));
  EXPECT_EQ(Split({longLine.substr(0, 8), longLine, "\nnext"}, 10), (V{"next"}));
  EXPECT_EQ(Split({"0123456789\n"}, 10), (V{"0123456789"}));  // exactly the limit is kept
  EXPECT_EQ(Split({longLine}, 10), V{});                       // no line end at all
}

TEST(IsShortDateText, DateAndTimeForms) {
  struct Case { const char* text; bool ok; };
  const Case cases[] = {
      {"2024-03-07", true}, {"2024/3/7", true}, {"2024-3-07 09:05", true},
      {"2024-03-07 09:05:03", true}, {"2024-02-29", true}, {"2023-02-29", false},
      {"2024-13-01", false}, {"2024-00-10", false}, {"2024-04-31", false},
      {"2024-03/07", false}, {"24-03-07", false}, {"20240307", false}, {"", false},
      {"2024-03-07x", false}, {"2024-03-07 25:00", false}, {"2024-03-07 09:60", false},
      {"2024-03-07 09", false}, {"2024-03-07 9:5:", false}, {"2024-03-", false},
      {"2024.3.7", true}, {"2024.03.07 09:05", true}, {"2024.03-07", false},
  };
  for (const auto& c : cases) EXPECT_EQ(IsShortDateText(c.text), c.ok) << c.text;
}

TEST(LocalRecordToEntry, AcceptanceRulesTable) {
  struct Case { std::string line; std::optional<std::string> entry; };
  const std::string id = "11010119900307123X";
  const Case cases[] = {
      // Tabs: the Chinese name loses its family name, padded to four bytes.
      {id + "\t张三\t2024-01-02\t打架斗殴", id + "\t#三  \t2024-01-02\t打架斗殴"},
      {id + "\t欧阳小明\t2024-01-02 10:20:30\t逃单", id + "\t#阳小明\t2024-01-02 10:20:30\t逃单"},
      // Spaces when there are fewer than three tabs; extra fields ignored.
      {id + " 张三 2024/1/2 欠费未还 多次", id + " #三   2024/1/2 欠费未还"},
      // Two tabs and three spaces: cut at the spaces.
      {id + " 张三 2024-01-02 赌博\t闹事\t", id + " #三   2024-01-02 赌博\t闹事\t"},
      {id + " Li\t2024-01-02\tcheat x", std::nullopt},
      {id + "\tLi\t2024-01-02\ta|b|", id + "\t#    \t2024-01-02\ta_b_"},
      {"#" + id + "\t张三\t2024-01-02\t打架斗殴", std::nullopt},  // comment
      {"11010119900307123x\t张三\t2024-01-02\t打架斗殴",
       "11010119900307123x\t#三  \t2024-01-02\t打架斗殴"},
      {"10010119900307123X\t张三\t2024-01-02\t打架斗殴", std::nullopt},  // region 10
      {"11010119900230123X\t张三\t2024-01-02\t打架斗殴", std::nullopt},  // no such day
      {"1101011990030712\t张三\t2024-01-02\t打架斗殴", std::nullopt},    // too short
      {id + "\t张\t2024-01-02\t打架斗殴", id + "\t#    \t2024-01-02\t打架斗殴"},
      {id + "\tA\t2024-01-02\t打架斗殴", std::nullopt},        // name of 1 byte
      {id + "\t张三\t2024-01-32\t打架斗殴", std::nullopt},     // bad date
      {id + "\t张三\t昨天\t打架斗殴", std::nullopt},
      {id + "\t张三\t2024-01-02\t逃", std::nullopt},           // reason of 2 bytes
      {id + "\t张三\t2024-01-02\t", std::nullopt},
      {id + "\t\t\t", std::nullopt},
      {id + "  ", std::nullopt},
      {"", std::nullopt},
      // An ID field of 19 characters would move the separator the panel
      // relies on to character 20.
      {"1101051949123100211 ab 2020-01-01 abcd", std::nullopt},
      {id + "1\t张三\t2024-01-02\t打架斗殴", std::nullopt},
      // Control bytes cut or break the line wherever it is shown.
      {id + "\t张" + std::string(1, '\0') + "\t2024-01-02\t打架斗殴", std::nullopt},
      {id + "\t张三\t2024-01-02\t打架\x1b[2J", std::nullopt},
      {id + "\t张三\t2024-01-02\t打架\x7f", std::nullopt},
      {id + "\t张三\t2024.1.2\t打架斗殴", id + "\t#三  \t2024.1.2\t打架斗殴"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(LocalRecordToEntry(c.line, kToday), c.entry) << c.line;
  }
}

TEST(CheckBlacklistRecord, EveryRefusalNamesItsFieldAndWhatWasExpected) {
  const std::string id = "11010119900307123X";
  struct Case { std::string line; const char* refusal; };
  const Case cases[] = {
      {"just some words", "four fields expected (ID number, name, date, reason), separated by tabs or spaces"},
      {"1101011990030712\t张三\t2024-01-02\t打架斗殴", "ID number: 18 characters expected, 16 found"},
      {id + "9\t张三\t2024-01-02\t打架斗殴", "ID number: 18 characters expected, 19 found"},
      {"1101011990030712A3\t张三\t2024-01-02\t打架斗殴", "ID number: digits expected in characters 1-17"},
      {"11010119900307123Y\t张三\t2024-01-02\t打架斗殴", "ID number: a digit or X expected in character 18"},
      {"10010119900307123X\t张三\t2024-01-02\t打架斗殴", "ID number: a region code 11-82 expected in characters 1-2"},
      {"11010119900230123X\t张三\t2024-01-02\t打架斗殴", "ID number: a birth date expected in characters 7-14"},
      {"11010120300101123X\t张三\t2024-01-02\t打架斗殴",
       "ID number: a birth date between 1900-10-01 and today expected"},
      {id + "\tA\t2024-01-02\t打架斗殴", "name: at least 2 bytes expected"},
      {id + "\t张" + std::string(1, '\0') + "\t2024-01-02\t打架斗殴", "name: no control bytes expected, 0x00 found"},
      {id + "\t张三\t2024-1-2x\t打架斗殴",
       "date: a date such as 2024-03-07, 2024/3/7 or 2024.3.7 expected, optionally with a time such as 09:05"},
      {id + "\t张三\t2024-01-02\t逃", "reason: at least 4 bytes expected"},
      {id + "\t张三\t2024-01-02\t逃单\x1b", "reason: no control bytes expected, 0x1B found"},
      // Cut at every separator: two side by side leave an empty field.
      {id + "  张三 2024-01-02 打架斗殴", "name: empty, two spaces stand together before it; one space between fields expected"},
      {id + " 张三  2024-01-02 打架斗殴", "date: empty, two spaces stand together before it; one space between fields expected"},
      {id + "\t张三\t2024-01-02\t\t打架斗殴", "reason: empty, two tabs stand together before it; one tab between fields expected"},
      {id + " 张三 2024-01-02 ", "reason: at least 4 bytes expected"},
  };
  for (const Case& c : cases) {
    const RecordCheck check = CheckBlacklistRecord(c.line, kToday);
    EXPECT_FALSE(check.record) << c.line;
    EXPECT_FALSE(check.skipped) << c.line;
    EXPECT_EQ(check.refusal, c.refusal) << c.line;
  }
  for (const std::string& line : {std::string(), std::string(" \t "), "#" + id + "\t张三\t2024-01-02\t打架斗殴"}) {
    const RecordCheck check = CheckBlacklistRecord(line, kToday);
    EXPECT_TRUE(check.skipped) << line;
    EXPECT_EQ(check.refusal, "") << line;
  }
}

TEST(MaskName, DropsWholeCharactersOnly) {
  struct Case { std::string name; std::string masked; };
  const Case cases[] = {
      {"张三", "#三  "},
      {"欧阳小明", "#阳小明"},
      {"Li", "#    "},
      {"Lisa", "#sa  "},
      // One single-byte character, then a two-byte one: both go, never half.
      {"A张三", "#三  "},
      // 0x80 is a character of one byte in code page 936.
      {"\x80" "A张", "#张  "},
  };
  for (const Case& c : cases) EXPECT_EQ(MaskName(c.name), c.masked) << c.name;
}

TEST(LocalRecordToEntry, BarDoesNotBreakAChineseCharacterWhoseTrailByteIsBar) {
  // "|" is 0x7C, also a GBK trail byte: "亅" is 81 7C. Only the real bar changes.
  const std::string id = "11010119900307123X";
  const std::string reason = "\x81\x7C|原因";
  auto entry = LocalRecordToEntry(id + "\t张三\t2024-01-02\t" + reason, kToday);
  ASSERT_TRUE(entry);
  EXPECT_EQ(entry->substr(entry->size() - reason.size()), "\x81\x7C_原因");
}

std::string Seal(const std::string& text) {
  std::string sealed;
  Des_Crypt(text, 1, 3, 0, true, sealed);
  return sealed;
}

TEST(OpenServiceLine, KeepsOpenedLinesWithThreeSpacesUnchanged) {
  struct Case { std::string sealed; std::optional<std::string> opened; };
  const std::string good = "11010119900307123X 张三 2024-01-02 赌博 | 闹事";
  std::string otherRow;
  Des_Crypt(good, 1, 1, 0, true, otherRow);
  const Case cases[] = {
      {Seal(good), good},
      {Seal("a b c d"), "a b c d"},
      {Seal("a b c"), std::nullopt},               // two spaces
      {Seal(std::string("\x01\x02\x03 \x04 \x05\x06 \x07\x08", 12)), "   "},  // 0..8 dropped
      {Seal(std::string("\x00\x01\x02\x03\x04\x05\x06\x07\x08", 9)), std::nullopt},
      {Seal("").substr(0, 5), std::nullopt},       // partial Base64
      {Seal(good).substr(0, 12), std::nullopt},    // cut inside the cipher text
      {"!!!! not base64 at all ####", std::nullopt},
      {otherRow, std::nullopt},                    // sealed with another key row
      {"", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(OpenServiceLine(c.sealed), c.opened) << c.sealed;
}

}  // namespace
