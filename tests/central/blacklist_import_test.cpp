#include "central/blacklist_import.h"

#include <gtest/gtest.h>

namespace {

const CalendarDate kToday{2026, 12, 10};

struct Case {
  const char* line;
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
      // Refused as the assistant refuses a local record.
      {"330102199003074416\t张三\t2024-01-02\t盗窃财物", nullptr},  // check digit
      {"990102199003074415\t张三\t2024-01-02\t盗窃财物", nullptr},  // region
      {"33010219900307441\t张三\t2024-01-02\t盗窃财物", nullptr},   // 17 characters
      {"440304200101011236\tA\t2024-01-02\t盗窃财物", nullptr},      // name under 2 bytes
      {"330102199003074415\t张三\t2024-13-02\t盗窃财物", nullptr},  // month
      {"330102199003074415\t张三\tyesterday\t盗窃财物", nullptr},
      {"330102199003074415\t张三\t2024-01-02\t偷", nullptr},        // reason under 4 bytes
      {"330102199003074415\t张三\t2024-01-02", nullptr},            // two tabs, no spaces
      {"#330102199003074415\t张三\t2024-01-02\t盗窃财物", nullptr},
  };
  for (const Case& c : cases) {
    const BlacklistImport r = ParseBlacklistFile(c.line, kToday);
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
      "440304200101011236 王五 2099-01-01\r",
      kToday);
  ASSERT_EQ(r.entries.size(), 2u);
  EXPECT_EQ(r.rejectedLines, (std::vector<int>{4, 6}));
}

}  // namespace
