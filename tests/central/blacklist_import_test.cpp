#include "central/exchange/blacklist_import.h"

#include <gtest/gtest.h>

#include "blacklist/blacklist_lines.h"
#include "blacklist/blacklist_store.h"
#include "fakes/fake_files.h"
#include "fakes/fake_http_client.h"

namespace {

const CalendarDate kToday{2026, 12, 10};

struct Case {
  std::string line;
  const char* entry;  // nullptr: refused
};

TEST(BlacklistImport, MakesTheLinesTheAssistantKeeps) {
  const Case cases[] = {
      // Tabs: the name is masked to "#" + given names, padded to 4 bytes.
      {"330102199003074415\t张三\t2024-01-02\t盗窃财物", "330102199003074415 #三   2024-01-02 盗窃财物"},
      {"330102199003074415\t欧阳小明\t2024/01/02 13:45\t多次\t盗窃", "330102199003074415 #阳小明 2024/01/02 13:45 多次"},
      // Spaces; a lower-case x is stored upper-case, so one entry per person.
      {"11010519491231002x 李四 2023.12.31 打架斗殴", "11010519491231002X #四   2023.12.31 打架斗殴"},
      // "|" would cut the hit report's fields; a tab in the reason would
      // leave the line without its three spaces.
      {"330102199003074415\t王五\t2024-01-02\t骗|取\t", "330102199003074415 #五   2024-01-02 骗_取"},
      {"330102199003074415\t#五  \t2024-01-02\t已经遮盖", "330102199003074415 #五   2024-01-02 已经遮盖"},
      // The assistant's own date forms: 2024/3/7 is a date to both sides.
      {"11010519491231002X\t张三\t2024/3/7\t盗窃他人财物", "11010519491231002X #三   2024/3/7 盗窃他人财物"},
      {"11010519491231002X 张三 2024-3-7  9:05 盗窃他人财物", nullptr},  // the time makes a fifth field
      {"11010519491231002X\t张三\t2024-3-7  9:05\t盗窃他人财物", "11010519491231002X #三   2024-3-7  9:05 盗窃他人财物"},
      // A check character that does not fit: the assistant takes it, so the
      // import does too (with a warning).
      {"330102199003074416\t张三\t2024-01-02\t盗窃财物", "330102199003074416 #三   2024-01-02 盗窃财物"},
      // Refused as the assistant refuses a local record.
      {"990102199003074415\t张三\t2024-01-02\t盗窃财物", nullptr},  // region
      {"33010219900307441\t张三\t2024-01-02\t盗窃财物", nullptr},   // 17 characters
      {"440304200101011236\tA\t2024-01-02\t盗窃财物", nullptr},      // name under 2 bytes
      {"330102199003074415\t张三\t2024-13-02\t盗窃财物", nullptr},  // month
      {"330102199003074415\t张三\tyesterday\t盗窃财物", nullptr},
      {"330102199003074415\t张三\t2024-01-02\t偷", nullptr},        // reason under 4 bytes
      {"330102199003074415\t张三\t2024-01-02", nullptr},            // two tabs, no spaces
      {"#330102199003074415\t张三\t2024-01-02\t盗窃财物", nullptr},
      {"1101051949123100211\t张三\t2024-01-02\t盗窃财物", nullptr},   // 19 characters
      // A control byte would cut the stored line short on its way to the
      // cafes; bytes that are not GBK would come back changed.
      {std::string("11010519491231002X \xd5\x30\x00 2020-01-30 abcd", 38), nullptr},
      {"11010519491231002X\t张三\t2020-01-30\tab\x1b[2Jcd", nullptr},
      {"11010519491231002X\t\xd5\x30\t2020-01-30\tabcd", nullptr},
  };
  for (const Case& c : cases) {
    const BlacklistImport r = ParseBlacklistFile(c.line, false, kToday);
    if (c.entry == nullptr) {
      EXPECT_TRUE(r.entries.empty()) << c.line;
      continue;
    }
    ASSERT_EQ(r.entries.size(), 1u) << c.line;
    EXPECT_EQ(r.entries[0].line, c.entry) << c.line;
    EXPECT_EQ(r.entries[0].idNumber, std::string(c.entry).substr(0, 18));
  }
}

TEST(BlacklistImport, CountsRefusedLinesAndSkipsBlankAndCommentLines) {
  const BlacklistImport r = ParseBlacklistFile(
      "# exported 2024-01-05\r\n"
      "330102199003074415\t张三\t2024-01-02\t盗窃财物\r\n"
      "\r\n"
      "not a record\r\n"
      "11010519491231002X 李四 2023-12-31 打架斗殴\n"
      "440304200101011236 王五 2099-01-01\r"
      "330102199003074416\t张三\t2024-01-02\t盗窃财物\n",
      false, kToday);
  ASSERT_EQ(r.entries.size(), 3u);
  EXPECT_EQ(r.refused, (std::vector<LineNote>{
                           {4, "four fields expected (ID number, name, date, reason), separated by tabs or spaces"},
                           {6, "four fields expected (ID number, name, date, reason), separated by tabs or spaces"}}));
  EXPECT_EQ(r.warnings, (std::vector<LineNote>{{7, "ID number: the check character does not fit; imported as it is"}}));
}

TEST(BlacklistImport, EveryRefusalSaysWhichFieldAndWhatWasExpected) {
  const BlacklistImport r = ParseBlacklistFile(
      "1101051949123100211\t张三\t2024-01-02\t盗窃财物\n"
      + std::string("11010519491231002X \xd5\x30\x00 2020-01-30 abcd\n", 39) +
      "11010519491231002X\t\xd5\x30\t2020-01-30\tabcd\n"
      "11010519491231002X\t张三\t2024-01-02\t偷\n",
      false, kToday);
  EXPECT_TRUE(r.entries.empty());
  EXPECT_EQ(r.refused, (std::vector<LineNote>{{1, "ID number: 18 characters expected, 19 found"},
                                              {2, "name: no control bytes expected, 0x00 found"},
                                              {3, "name: GBK text expected"},
                                              {4, "reason: at least 4 bytes expected"}}));
}

// UTF-8 files: said so, or marked by a byte-order mark; the mark never
// spoils the first record.
TEST(BlacklistImport, ReadsUtf8WhenToldOrMarked) {
  const std::string record = "11010519491231002X\t\xE5\xBC\xA0\xE4\xB8\x89\t2024/3/7\t\xE7\x9B\x97\xE7\xAA\x83\xE8\xB4\xA2\xE7\x89\xA9";
  const std::string expected = "11010519491231002X #三   2024/3/7 盗窃财物";
  struct Utf8Case { std::string file; bool utf8; };
  const Utf8Case cases[] = {{record, true}, {"\xEF\xBB\xBF" + record, false}, {"\xEF\xBB\xBF" + record, true}};
  for (const Utf8Case& c : cases) {
    const BlacklistImport r = ParseBlacklistFile(c.file, c.utf8, kToday);
    ASSERT_EQ(r.entries.size(), 1u) << c.utf8;
    EXPECT_EQ(r.entries[0].line, expected);
    EXPECT_TRUE(r.refused.empty());
  }
}

// A cafe's blacklist.txt and the operator's import take the same lines: a
// record the assistant would drop for its length is refused by the import,
// with its line number, and the lines after it keep their numbers.
TEST(BlacklistImport, TakesALongLineExactlyWhenTheAssistantTakesIt) {
  // Three people, so that each line is an entry of its own.
  const std::string head = "330102199003074415\t张三\t2024-01-02\t";
  const std::string before = "11010519491231002X\t李四\t2024-01-02\t盗窃财物\n";
  const std::string after = "110101199003071233\t王五\t2024-01-02\t盗窃财物\n";
  const struct {
    std::size_t bytes;  // of the long line, without its line end
    bool taken;
  } cases[] = {{4000, true}, {kMaxBlacklistLineBytes, true}, {kMaxBlacklistLineBytes + 1, false}, {100000, false}};
  for (const auto& c : cases) {
    const std::string text = before + head + std::string(c.bytes - head.size(), 'a') + "\n" + after + "not a record\n";

    const BlacklistImport r = ParseBlacklistFile(text, false, kToday);
    EXPECT_EQ(r.entries.size(), c.taken ? 3u : 2u) << c.bytes;
    std::vector<LineNote> refused;
    if (!c.taken) refused.push_back({2, "a line of at most 4096 bytes expected"});
    refused.push_back({4, "four fields expected (ID number, name, date, reason), separated by tabs or spaces"});
    EXPECT_EQ(r.refused, refused) << c.bytes;

    FakeFiles files;
    files.files["C:\\T\\blacklist.txt"] = text;
    FakeHttpClient http;
    BlacklistStore store(files, http, [] { return 100000u; }, [] { return kToday; },
                         {"C:\\T\\blacklist.txt", "http://127.0.0.1/blk"});
    store.Get_BlackList();
    EXPECT_EQ(store.LocalRecords(), static_cast<int>(r.entries.size())) << c.bytes;
  }
}

// The count is what the store keeps: one entry per ID number, the later line's.
TEST(BlacklistImport, AnIdNumberTwiceIsOneEntryWithAWarning) {
  const BlacklistImport r = ParseBlacklistFile(
      "330102199003074415\t张三\t2024-01-02\t盗窃财物\n"
      "11010519491231002X 李四 2023-12-31 打架斗殴\n"
      "330102199003074415\t张三\t2024-02-03\t逃费离开\n",
      false, kToday);
  ASSERT_EQ(r.entries.size(), 2u);
  EXPECT_EQ(r.entries[0].line, "330102199003074415 #三   2024-02-03 逃费离开");
  EXPECT_EQ(r.warnings, (std::vector<LineNote>{{3, "ID number also on line 1; this line replaces it"}}));
}

// A file saved as UTF-8 is told apart from GBK text, so the operator hears
// that --utf8 is missing.
TEST(BlacklistImport, TellsAUtf8FileFromGbk) {
  const struct {
    std::string text;
    bool utf8;
  } cases[] = {
      {"11010519491231002X\t\xE5\xBC\xA0\xE4\xB8\x89\t2024/3/7\t\xE7\x9B\x97\xE7\xAA\x83", true},
      {"330102199003074415\t张三\t2024-01-02\t盗窃财物", false},  // GBK (the test's literals are GBK)
      {"330102199003074415 ab 2024-01-02 abcd", false},             // ASCII only: nothing to tell
      {"\xE5\xBC", false},                                          // cut in a character
      {"\xC0\xAF", false},                                          // overlong
  };
  for (const auto& c : cases) EXPECT_EQ(LooksLikeUtf8(c.text), c.utf8) << c.text;
}

}  // namespace
