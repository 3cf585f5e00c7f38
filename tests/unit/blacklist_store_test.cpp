#include "blacklist/blacklist_store.h"
#include "blacklist/blacklist_lines.h"

#include <gtest/gtest.h>

#include <random>

#include "crypto/envelope.h"
#include "fakes/fake_files.h"
#include "fakes/fake_http_client.h"

namespace {

const char kFile[] = "C:\\网吧收银\\blacklist.txt";
const char kUrl[] = "http://127.0.0.1:18080/tollimer/data/blklist.txt";
const std::string kId1 = "11010119900307123X";
const std::string kId2 = "44030419851231002x";

// The service's answer takes 40 ms of the clock.
struct SlowService : FakeHttpClient {
  std::uint32_t* tick = nullptr;
  std::string HttpRequest(const std::string& url, const std::string& body, int timeoutMs) override {
    *tick += 40;
    return FakeHttpClient::HttpRequest(url, body, timeoutMs);
  }
};

std::string Seal(const std::string& text) {
  std::string sealed;
  Des_Crypt(text, 1, 3, 0, true, sealed);
  return sealed;
}

struct StoreFixture : ::testing::Test {
  FakeFiles files;
  SlowService http;
  std::uint32_t tick = 100000;
  BlacklistStore store{files, http, [this] { return tick; }, [] { return CalendarDate{2024, 3, 7}; },
                       {kFile, kUrl}};
  StoreFixture() { http.tick = &tick; }

  void LocalFile(const std::string& text) { files.files[kFile] = text; }
  std::vector<std::string> Lines() const { return store.Lines(); }
};

// A file saved as UTF-8 with a byte-order mark keeps its first record and
// shows its names in GBK, whatever piece sizes the file arrives in; a GBK
// file that merely starts with the mark's first byte loses nothing.
TEST_F(StoreFixture, AUtf8FileWithAByteOrderMarkKeepsItsFirstRecord) {
  const std::string utf8Record = kId1 + "\t\xE5\xBC\xA0\xE4\xB8\x89\t2024-01-02\t\xE6\x89\x93\xE6\x9E\xB6\xE6\x96\x97\xE6\xAE\xB4";
  struct Case {
    const char* what;
    std::string file;
    std::vector<std::string> lines;
  } cases[] = {
      {"UTF-8 with the mark", "\xEF\xBB\xBF" + utf8Record + "\r\n" + utf8Record,
       {kId1 + "\t#三  \t2024-01-02\t打架斗殴", kId1 + "\t#三  \t2024-01-02\t打架斗殴"}},
      {"GBK", kId1 + "\t张三\t2024-01-02\t打架斗殴", {kId1 + "\t#三  \t2024-01-02\t打架斗殴"}},
      {"GBK whose first line starts like the mark", "\xEF\xBB\n" + kId1 + "\t张三\t2024-01-02\t打架斗殴",
       {kId1 + "\t#三  \t2024-01-02\t打架斗殴"}},
      {"the mark alone", "\xEF\xBB\xBF", {}},
  };
  for (const Case& c : cases) {
    for (std::size_t piece : {1u, 2u, 4u, 4096u}) {
      LocalFile(c.file);
      files.pieceSize = piece;
      tick += 5000;
      store.Get_BlackList();
      EXPECT_EQ(Lines(), c.lines) << c.what << ", pieces of " << piece;
    }
  }
}

TEST_F(StoreFixture, LocalRecordsFirstThenServiceLinesDuplicatesKept) {
  LocalFile("# the cafe's own list\r\n" + kId1 + "\t张三\t2024-01-02\t打架斗殴\r\n"
            "not a record\r\n" + kId2 + " 李四 2023/12/1 欠费逃单\n");
  http.defaultReply = Seal("37010219800101001X 王某 2024-02-02 盗窃") + "\r\n" + "garbage\n" +
                      Seal(kId1 + " #三 2024-01-02 重复") + "\r";
  EXPECT_EQ(store.Get_BlackList(), 4);
  const std::vector<std::string> expected = {
      kId1 + "\t#三  \t2024-01-02\t打架斗殴", kId2 + " #四   2023/12/1 欠费逃单",
      "37010219800101001X 王某 2024-02-02 盗窃", kId1 + " #三 2024-01-02 重复"};
  EXPECT_EQ(Lines(), expected);
  EXPECT_EQ(store.StatusText(), "黑名单:4条,本地2条耗时:40ms");
  ASSERT_EQ(http.calls.size(), 1u);
  EXPECT_EQ(http.calls[0].url, kUrl);
  EXPECT_EQ(http.calls[0].body, "");
  EXPECT_EQ(http.calls[0].timeoutMs, 5000);
}

TEST_F(StoreFixture, StatusTextsOfEachOutcome) {
  struct Case { std::string local; std::string reply; int count; std::string status; };
  const std::string record = kId1 + "\t张三\t2024-01-02\t打架斗殴\n";
  const Case cases[] = {
      {"", "", 0, "获取黑名单失败:0, 本地数据0条, 耗时:40ms"},
      {record + record, "", 2, "获取黑名单失败:0, 本地数据2条, 耗时:40ms"},
      {"", Seal("a b c d"), 1, "黑名单:1条,耗时:40ms"},            // no local part
      {record, "garbage only", 1, "黑名单:1条,本地1条耗时:40ms"},  // a reply whose lines all drop
  };
  for (const auto& c : cases) {
    if (c.local.empty()) files.files.erase(kFile); else LocalFile(c.local);
    http.defaultReply = c.reply;
    tick += 5000;
    EXPECT_EQ(store.Get_BlackList(), c.count) << c.status;
    EXPECT_EQ(store.StatusText(), c.status);
  }
}

TEST_F(StoreFixture, ALoadWithinThreeSecondsOfTheLastDoesNothing) {
  LocalFile(kId1 + "\t张三\t2024-01-02\t打架斗殴\n");
  ASSERT_EQ(store.Get_BlackList(), 1);   // began at 100000, the clock is at 100040 after it
  const std::string status = store.StatusText();
  LocalFile("");
  http.defaultReply = Seal("a b c d");
  tick = 102000;
  EXPECT_EQ(store.Get_BlackList(), 0);
  EXPECT_EQ(Lines().size(), 1u);
  EXPECT_EQ(store.StatusText(), status);
  EXPECT_EQ(http.calls.size(), 1u);
  tick = 102999;
  EXPECT_EQ(store.Get_BlackList(), 0);
  tick = 103000;
  EXPECT_EQ(store.Get_BlackList(), 1);
  EXPECT_EQ(Lines(), std::vector<std::string>{"a b c d"});
}

TEST_F(StoreFixture, GuardWorksAcrossTheTickCountWrap) {
  tick = 0xFFFFF000u;   // 4096 ms before the wrap
  ASSERT_EQ(store.Get_BlackList(), 0);  // loaded (an empty list)
  EXPECT_NE(store.StatusText(), "Info:");
  tick = 0x00000100u;   // 4352 ms later: allowed
  http.defaultReply = Seal("a b c d");
  EXPECT_EQ(store.Get_BlackList(), 1);
  tick = 0x00000200u;   // 256 ms later: refused
  EXPECT_EQ(store.Get_BlackList(), 0);
}

TEST_F(StoreFixture, AnUnreadableFileStillLetsTheServiceLinesIn) {
  const std::string record = kId1 + "\t张三\t2024-01-02\t打架斗殴\r\n";
  http.defaultReply = Seal("a b c d");
  LocalFile(record + record + record);
  files.lockedFiles.insert(kFile);
  EXPECT_EQ(store.Get_BlackList(), 1);
  EXPECT_EQ(store.StatusText(), "黑名单:1条,耗时:40ms");

  // Gone in the middle of the third record: the two whole ones count.
  files.lockedFiles.clear();
  files.pieceSize = 7;
  files.failReadAfter = static_cast<long long>(record.size() * 2 + 10);
  tick += 5000;
  EXPECT_EQ(store.Get_BlackList(), 3);
  EXPECT_EQ(store.LocalRecords(), 2);
}

TEST_F(StoreFixture, BinaryHugeAndLineEndlessFilesKeepTheGoodRecords) {
  const std::string record = kId1 + "\t张三\t2024-01-02\t打架斗殴\r\n";
  std::mt19937 random(7);
  std::string binary(4 << 20, '\0');
  for (char& c : binary) c = static_cast<char>(random());
  const std::string megaLine(3 << 20, 'A');
  struct Case { std::string text; int records; };
  const Case cases[] = {
      {binary, 0},
      {record + binary + "\n" + record, 2},
      {record + megaLine + "\t张三\t2024-01-02\t" + megaLine + "\n" + record, 2},
      {megaLine, 0},                          // no line end at all
      {record + std::string(1000, '\t'), 1},
  };
  for (const auto& c : cases) {
    LocalFile(c.text);
    tick += 5000;
    store.Get_BlackList();
    EXPECT_EQ(store.LocalRecords(), c.records);
    for (const auto& line : store.Lines()) EXPECT_LE(line.size(), kMaxBlacklistLineBytes);
  }
}

TEST_F(StoreFixture, FindInBlacklistTable) {
  LocalFile(kId2 + "\t李四\t2023-12-01\t欠费逃单\n" +
            kId1 + "\t张三\t2024-01-02\t同伙44030419851231002X\n" + kId1 + "\t王五\t2024-01-02\t另一条\n");
  ASSERT_EQ(store.Get_BlackList(), 3);
  struct Case { std::string id; int index; };
  const Case cases[] = {
      {kId1, 1},
      {"11010119900307123x", 1},  // the final X in either case
      {kId2, 0},
      {"44030419851231002X", 0},
      {"4403041", -1},            // 7 characters never match
      {"44030419", 0},            // 8 do, anywhere in the line
      {"1231002X", 0},
      {"同伙4403", 1},              // also inside the reason
      {"99999999", -1},
      {"", -1},
  };
  for (const auto& c : cases) EXPECT_EQ(store.FindInBlacklist(c.id), c.index) << c.id;
}

TEST_F(StoreFixture, SortingOrdersByIdUntilTheNextLoad) {
  http.defaultReply = Seal("52010219800101001X b c d") + "\n" + Seal("11010219800101001X b c d") +
                      "\n" + Seal("31010219800101001X b c d");
  ASSERT_EQ(store.Get_BlackList(), 3);
  store.Sort([](const std::string& a, const std::string& b) { return a < b; });
  EXPECT_TRUE(store.Sorted());
  EXPECT_EQ(store.Lines()[0].substr(0, 2), "11");
  EXPECT_EQ(store.FindInBlacklist("52010219800101001X"), 2);  // searched in the shown order
  tick += 3000;
  ASSERT_EQ(store.Get_BlackList(), 3);
  EXPECT_FALSE(store.Sorted());
  EXPECT_EQ(store.Lines()[0].substr(0, 2), "52");
}

}  // namespace
