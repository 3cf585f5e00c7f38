#include "central/store/store.h"

#include <sqlite3.h>

#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <fstream>
#include <thread>

#include "fakes/temp_dir.h"
#include "central/base/clock.h"
#include "central/store/retention.h"
#include "central/service.h"
#include "central/service_client.h"

extern char** environ;

namespace {

std::unique_ptr<CentralStore> OpenStore(const TempDir& dir) {
  std::string error;
  auto store = CentralStore::Open(dir.Path("central.db"), error);
  EXPECT_TRUE(store) << error;
  return store;
}

InstallReport Report(const std::string& mac, const std::string& disk, const std::string& barId,
                     const std::string& crc) {
  InstallReport r;
  r.mac = mac;
  r.diskSerial = disk;
  r.barId = barId;
  r.barName = "bar " + barId;
  r.versionCrc = crc;
  return r;
}

TEST(CentralStore, AnInstallationIsOneMacAndDisk) {
  TempDir dir("central_store_installs");
  auto store = OpenStore(dir);
  ASSERT_TRUE(store->RecordInstall(Report("M1", "D1", "3301", "AAAAAAAA"), "10.0.0.5", 1, 1000));
  ASSERT_TRUE(store->RecordInstall(Report("M1", "D1", "3302", "BBBBBBBB"), "10.0.0.6", 2, 2000));
  ASSERT_TRUE(store->RecordInstall(Report("M1", "D2", "3301", "AAAAAAAA"), "10.0.0.7", 1, 3000));
  const auto rows = store->Installs();
  ASSERT_EQ(rows.size(), 2u);
  const InstallRow& moved = rows[1].report.mac == "M1" && rows[1].report.diskSerial == "D1" ? rows[1] : rows[0];
  EXPECT_EQ(moved.report.barId, "3302");  // the latest report wins
  EXPECT_EQ(moved.report.versionCrc, "BBBBBBBB");
  EXPECT_EQ(moved.firstSeen, 1000);
  EXPECT_EQ(moved.lastSeen, 2000);
  EXPECT_EQ(moved.exchanges, 2);
  EXPECT_EQ(moved.kind, 2);
}

TEST(CentralStore, SqlLookingTextInEveryFieldIsKeptAsText) {
  TempDir dir("central_store_sql");
  auto store = OpenStore(dir);
  const std::string evil[] = {"'); DROP TABLE installations;--", "\" OR 1=1 --", "x'||(SELECT 1)||'",
                              "%'; DELETE FROM hits; --", "\\'", "NULL"};
  for (const std::string& e : evil) {
    InstallReport r = Report(e, e, e, e);
    r.barName = r.osVersion = r.faceSound = r.clientTime = e;
    ASSERT_TRUE(store->RecordInstall(r, e, 1, 100));
    ASSERT_TRUE(store->RecordHit({e, e, e, e}, e, 100));
    ASSERT_TRUE(store->RecordNotice({e, e, e, e}, e, 100));
    ASSERT_TRUE(store->SetParam(e, "motd", e));
  }
  const auto installs = store->Installs();
  ASSERT_EQ(installs.size(), std::size(evil));
  for (const InstallRow& row : installs) {
    EXPECT_EQ(row.report.mac, row.report.barName);
    EXPECT_EQ(row.report.mac, row.address);
  }
  EXPECT_EQ(store->Hits(0).size(), std::size(evil));
  EXPECT_EQ(store->Notices(100).size(), std::size(evil));
  EXPECT_EQ(store->ParamsFor(evil[0]), (ParamList{{"motd", evil[0]}}));
  EXPECT_TRUE(store->IntegrityOk());
}

TEST(CentralStore, ABarGetsTheGlobalParametersWithItsOwnOnTop) {
  TempDir dir("central_store_params");
  auto store = OpenStore(dir);
  ASSERT_TRUE(store->SetParam("", "delay", "300"));
  ASSERT_TRUE(store->SetParam("", "interval", "60"));
  ASSERT_TRUE(store->SetParam("3301", "delay", "500"));
  ASSERT_TRUE(store->SetParam("3302", "clickmode", "1"));
  EXPECT_EQ(store->ParamsFor("3301"), (ParamList{{"delay", "500"}, {"interval", "60"}}));
  EXPECT_EQ(store->ParamsFor("3302"), (ParamList{{"clickmode", "1"}, {"delay", "300"}, {"interval", "60"}}));
  EXPECT_EQ(store->ParamsFor(""), (ParamList{{"delay", "300"}, {"interval", "60"}}));
  ASSERT_TRUE(store->UnsetParam("3301", "delay"));
  EXPECT_FALSE(store->UnsetParam("3301", "delay"));
  EXPECT_EQ(store->ParamsFor("3301"), (ParamList{{"delay", "300"}, {"interval", "60"}}));
}

TEST(CentralStore, EachProcessorHasOneCurrentRelease) {
  TempDir dir("central_store_releases");
  auto store = OpenStore(dir);
  EXPECT_EQ(store->ReleaseIdentities(), "");
  EXPECT_FALSE(store->ReleaseFor("11111111"));
  ASSERT_TRUE(store->AddRelease({"0000AAAA", "", 10, "x86"}, 100));  // old 32-bit
  ASSERT_TRUE(store->AddRelease({"0000BBBB", "", 10, "x64"}, 200));  // old 64-bit
  ASSERT_TRUE(store->AddRelease({"1111AAAA", "", 10, "x86"}, 300));  // new 32-bit
  ASSERT_TRUE(store->AddRelease({"1111BBBB", "", 10, "x64"}, 400));  // new 64-bit
  EXPECT_EQ(store->ReleaseIdentities(), "1111BBBB,1111AAAA");
  struct Case {
    const char* running;
    const char* gets;
  };
  const Case cases[] = {
      {"0000AAAA", "1111AAAA"},  // a known 32-bit build stays 32-bit
      {"0000BBBB", "1111BBBB"},  // a known 64-bit build stays 64-bit
      {"12345678", "1111AAAA"},  // unknown: the build every cashier PC runs
      {"1111BBBB", "1111BBBB"},
  };
  for (const Case& c : cases) EXPECT_EQ(store->ReleaseFor(c.running)->info.crc, c.gets) << c.running;
}

// The exchange's values are kept in memory for a moment; a change through
// the store shows at once, one made by another process (the operator's
// commands) within a few seconds, never not at all.
TEST(CentralStore, ExchangeValuesFollowChangesFromThisAndOtherProcesses) {
  TempDir dir("central_store_kept_values");
  auto service = OpenStore(dir);
  auto operatorCommand = OpenStore(dir);
  ASSERT_TRUE(service->SetParam("", "interval", "60"));
  ASSERT_TRUE(service->AddRelease({"0000AAAA", "", 10, "x86"}, 100));
  EXPECT_EQ(service->ParamsFor("3301"), (ParamList{{"interval", "60"}}));
  EXPECT_EQ(service->ReleaseIdentities(), "0000AAAA");

  ASSERT_TRUE(operatorCommand->SetParam("3301", "delay", "500"));
  ASSERT_TRUE(operatorCommand->AddRelease({"1111AAAA", "", 10, "x86"}, 200));
  bool seen = false;
  for (int i = 0; i < 50 && !seen; ++i) {
    seen = service->ParamsFor("3301") == ParamList{{"delay", "500"}, {"interval", "60"}} &&
           service->ReleaseIdentities() == "1111AAAA";
    if (!seen) usleep(100 * 1000);
  }
  EXPECT_TRUE(seen) << "another process's change did not show within 5 s";

  ASSERT_TRUE(service->SetParam("", "interval", "30"));
  EXPECT_EQ(service->ParamsFor("3301"), (ParamList{{"delay", "500"}, {"interval", "30"}}));
  ASSERT_TRUE(service->AddRelease({"2222AAAA", "", 10, "x86"}, 300));
  EXPECT_EQ(service->ReleaseIdentities(), "2222AAAA");
}

TEST(CentralStore, BlacklistImportsReplaceOrMergeAndBumpTheVersion) {
  TempDir dir("central_store_blacklist");
  auto store = OpenStore(dir);
  const std::int64_t v0 = store->BlacklistVersion();
  ASSERT_TRUE(store->ImportBlacklist({{"A", "A one"}, {"B", "B one"}}, false));
  ASSERT_TRUE(store->ImportBlacklist({{"B", "B two"}, {"C", "C one"}}, false));
  EXPECT_EQ(store->Blacklist(), (std::vector<BlacklistRow>{{"A", "A one"}, {"B", "B two"}, {"C", "C one"}}));
  ASSERT_TRUE(store->ImportBlacklist({{"D", "D one"}}, true));
  EXPECT_EQ(store->Blacklist(), (std::vector<BlacklistRow>{{"D", "D one"}}));
  EXPECT_FALSE(store->RemoveBlacklist("A"));
  ASSERT_TRUE(store->RemoveBlacklist("D"));
  EXPECT_TRUE(store->Blacklist().empty());
  EXPECT_EQ(store->BlacklistVersion(), v0 + 4);
}

TEST(CentralStore, PruningKeepsTheRecentDaysAndEverythingElse) {
  TempDir dir("central_store_prune");
  auto store = OpenStore(dir);
  ASSERT_TRUE(store->RecordInstall(Report("M", "D", "1", "C"), "a", 1, 10));
  for (std::int64_t time : {100, 199, 200, 300}) {
    ASSERT_TRUE(store->RecordHit({"id", "m", "1", "b"}, "a", time));
    ASSERT_TRUE(store->RecordNotice({"n", "1", "b", "e"}, "a", time));
  }
  EXPECT_EQ(store->PruneEvents(200), 4);
  EXPECT_EQ(store->Hits(0).size(), 2u);
  EXPECT_EQ(store->Hits(0).back().time, 200);
  EXPECT_EQ(store->Notices(10).size(), 2u);
  EXPECT_EQ(store->Installs().size(), 1u);  // the inventory stays
}

TEST(CentralStore, PruningInSmallStepsRemovesWhatIsOldAStepAtATime) {
  TempDir dir("central_store_prune_steps");
  auto store = OpenStore(dir);
  for (std::int64_t time : {100, 101, 102, 103, 104, 300}) {
    ASSERT_TRUE(store->RecordHit({"id", "m", "1", "b"}, "a", time));
    ASSERT_TRUE(store->RecordNotice({"n", "1", "b", "e"}, "a", time));
  }
  EXPECT_EQ(store->PruneEventsBatch(200, 2), 4);  // two of each
  int steps = 0;
  EXPECT_EQ(PruneOldEvents(*store, 200, 2, [&] { return ++steps < 100; }), 6);
  EXPECT_EQ(steps, 2);  // two more steps, then one that found nothing
  EXPECT_EQ(store->Hits(0).size(), 1u);
  EXPECT_EQ(store->Notices(10).size(), 1u);
}

TEST(EventRetention, RemovesWhatIsOlderThanItsDaysWhenItStarts) {
  TempDir dir("central_store_retention");
  auto store = OpenStore(dir);
  const std::int64_t now = NowSeconds();
  for (std::int64_t age : {400, 91, 89, 0}) {
    ASSERT_TRUE(store->RecordHit({"id", "m", "1", "b"}, "a", now - age * 86400));
    ASSERT_TRUE(store->RecordNotice({"n", "1", "b", "e"}, "a", now - age * 86400));
  }
  EventRetention retention(*store, 90);
  retention.Start();
  for (int i = 0; i < 500 && store->Hits(0).size() > 2; ++i) SleepMs(10);
  retention.Stop();
  EXPECT_EQ(store->Hits(0).size(), 2u);
  EXPECT_EQ(store->Notices(10).size(), 2u);
}

// While an operator's command holds the write lock, the service's write
// waits for it without holding the store: the exchanges' reads go on.
TEST(CentralStore, AWriteWaitingForAnotherProcessDoesNotHoldUpReads) {
  TempDir dir("central_store_busy");
  auto store = OpenStore(dir);
  store->WaitForWritersUnlocked();
  ASSERT_TRUE(store->SetParam("", "interval", "60"));
  sqlite3* other = nullptr;
  ASSERT_EQ(sqlite3_open(dir.Path("central.db").c_str(), &other), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
  std::atomic<bool> written{false};
  std::thread writer([&] {
    EXPECT_TRUE(store->RecordInstall(Report("M", "D", "1", "C"), "a", 1, 10));
    written = true;
  });
  SleepMs(100);  // the write is waiting now
  EXPECT_EQ(store->ParamsFor("1").size(), 1u);
  EXPECT_EQ(store->BlacklistVersion(), 0);
  EXPECT_FALSE(written) << "the reads waited until the write gave up";
  sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr);
  sqlite3_close(other);
  writer.join();
  EXPECT_EQ(store->Installs().size(), 1u);  // and the write went in once the lock was free
}

TEST(CentralStore, TheNoticesTableKeepsItsNewestUpToItsCeiling) {
  TempDir dir("central_store_notice_ceiling");
  auto store = OpenStore(dir);
  for (int i = 0; i < 7; ++i) ASSERT_TRUE(store->RecordNotice({"n" + std::to_string(i), "1", "b", "e"}, "a", i));
  EXPECT_EQ(store->KeepNewestNotices(3), 4);
  EXPECT_EQ(store->KeepNewestNotices(3), 0);
  const auto kept = store->Notices(10);
  ASSERT_EQ(kept.size(), 3u);
  EXPECT_EQ(kept.front().text, "n6");
  EXPECT_EQ(kept.back().text, "n4");
}

// A store whose list cannot be read (here its table is gone, as a damaged
// file would lose it) says so instead of giving an empty list.
TEST(CentralStore, ABlacklistThatCannotBeReadIsNoList) {
  TempDir dir("central_store_blacklist_unread");
  auto store = OpenStore(dir);
  // The first line reads, the second fails.
  ASSERT_TRUE(store->ImportBlacklist({{"1", "\"first\""}, {"2", "second"}}, false));
  ASSERT_EQ(store->ReadBlacklist()->size(), 2u);
  ASSERT_TRUE(BreakBlacklistTable(dir.Path("central.db")));
  EXPECT_FALSE(store->ReadBlacklist());
}

TEST(CentralStore, RefusesAFileThatIsNoStore) {
  TempDir dir("central_store_notdb");
  std::ofstream(dir.Path("central.db")) << std::string(8192, 'x');
  std::string error;
  EXPECT_FALSE(CentralStore::Open(dir.Path("central.db"), error));
  EXPECT_FALSE(error.empty());
}

// A blacklist file of `count` records whose reasons name the batch.
std::string BlacklistFile(int count, const std::string& batch) {
  // Valid numbers: region 330102, birth dates from 1990-01-01 on, sequence
  // 441, and the check digit of ISO 7064 MOD 11-2.
  std::string text;
  for (int i = 0; i < count; ++i) {
    char base[18];
    std::snprintf(base, sizeof base, "330102%04d%02d%02d%03d", 1950 + i / 336, 1 + i / 28 % 12, 1 + i % 28,
                  441);
    static const int weights[17] = {7, 9, 10, 5, 8, 4, 2, 1, 6, 3, 7, 9, 10, 5, 8, 4, 2};
    int sum = 0;
    for (int k = 0; k < 17; ++k) sum += (base[k] - '0') * weights[k];
    text += std::string(base) + "10X98765432"[sum % 11] + "\tAB\t2024-01-02\treason " + batch + "\r\n";
  }
  return text;
}

// The real program, killed at random moments while it replaces the blacklist
// in one transaction: every time the store opens whole and holds one of the
// two lists entirely, never a mixture or a part.
TEST(CentralStore, AKillInTheMiddleOfAnImportLeavesOneWholeList) {
  TempDir dir("central_store_kill");
  const std::string a = dir.Write("a.txt", BlacklistFile(6000, "first"));
  const std::string b = dir.Write("b.txt", BlacklistFile(4000, "second"));
  const std::string data = dir.Path("data");
  std::filesystem::create_directories(data);
  auto run = [&](const std::string& file) {
    const char* argv[] = {TOLLIMER_CENTRAL_EXE, "--data", data.c_str(), "blacklist", "import", file.c_str(),
                          "--replace", nullptr};
    pid_t pid = 0;
    posix_spawn(&pid, argv[0], nullptr, nullptr, const_cast<char**>(argv), environ);
    return pid;
  };
  int status = 0;
  waitpid(run(a), &status, 0);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

  int killed = 0;
  for (int round = 0; round < 24; ++round) {
    const pid_t pid = run(round % 2 ? a : b);
    SleepMs(5 + round * 7 % 60);
    if (kill(pid, SIGKILL) == 0) ++killed;
    waitpid(pid, &status, 0);

    std::string error;
    auto store = CentralStore::Open(data + "/central.db", error);
    ASSERT_TRUE(store) << error;
    ASSERT_TRUE(store->IntegrityOk()) << "round " << round;
    const auto rows = store->Blacklist();
    ASSERT_TRUE(rows.size() == 6000 || rows.size() == 4000) << rows.size() << " in round " << round;
    const std::string batch = rows.size() == 6000 ? "first" : "second";
    for (const BlacklistRow& row : rows) ASSERT_NE(row.line.find(batch), std::string::npos) << row.line;
  }
  EXPECT_GT(killed, 0);
}

}  // namespace
