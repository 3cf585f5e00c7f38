#include "net/self_update.h"

#include <gtest/gtest.h>

#include "fakes/fake_clock.h"
#include "fakes/fake_files.h"
#include "fakes/fake_update_files.h"
#include "fakes/release_signature_cases.h"
#include "log/activity_log.h"

namespace {

const std::string kData = std::string(TOLLIMER_TEST_DATA) + "/release/";
const std::string kExe = "C:\\网吧\\Tollimer.exe";
const std::string kNew = kExe + ".NEW";
const std::string kOld = kExe + ".old";
// A release and its statements: by the test key, by another key, and the
// test key's statement of another file.
const std::string kRelease = ReadFixture(kData + "release.bin");
const std::string kSignature = ReadFixture(kData + "release.statement");
const std::string kOtherKeysSignature = ReadFixture(kData + "release.other-key.statement");
const std::string kAnotherFilesSignature = ReadFixture(kData + "another.statement");
const std::string kOldFormSignature = ReadFixture(kData + "release.sig");
// The running program: 1.0.0.1 for x64.
const SelfUpdate::Running kRunning{0x0001000000000001, "x64"};

std::string CrcOf(const std::string& bytes) { return Crc32Text(Crc32(0, bytes.data(), bytes.size())); }

struct SelfUpdateFixture : testing::Test {
  FakeFiles logFiles;
  FakeClock clock;
  ActivityLog log{logFiles, clock};
  FakeUpdateFiles files;
  FakeUpdateShell shell;
  std::vector<std::string> urls;
  // What the download writes into its destination, and what it returns.
  std::string served = kRelease;
  int result = static_cast<int>(kRelease.size());
  // The text served at the signature's address.
  std::string signature = kSignature;
  // What the exchange announced.
  std::string identities = "ABCD1234," + CrcOf(kRelease);
  ReleaseSource source{[this](const std::string& url, const std::string& destination) {
                         urls.push_back(url + " > " + destination);
                         if (result >= 0) files.files[destination] = served;
                         return result;
                       },
                       [this](const std::string& url) {
                         urls.push_back(url);
                         return signature;
                       }};
  SelfUpdate update{files, shell, log, source, ParseReleaseKey(kTestReleaseKey), kRunning, kExe,
                    "http://svc/tollimer/update/"};

  SelfUpdateFixture() {
    logFiles.folders.insert("C:\\网吧\\LOGS\\");
    log.SetSwitch(true, "C:\\网吧\\");
    files.files[kExe] = "running program";
  }

  // The log lines without their timestamps.
  std::vector<std::string> LogTexts() {
    std::vector<std::string> texts;
    for (const auto& [name, content] : logFiles.files) {
      std::size_t begin = 0, end;
      while ((end = content.find("\r\n", begin)) != std::string::npos) {
        std::string line = content.substr(begin, end - begin);
        texts.push_back(line.substr(line.find(' ', 11) + 1));
        begin = end + 2;
      }
    }
    return texts;
  }

  int Apply(const std::string& identities = "ABCD1234," + CrcOf(kRelease)) {
    return update.ApplyUpdate("00FF00FF", identities, 60);
  }
};

TEST_F(SelfUpdateFixture, SwapsInTheReleaseAndRestartsIntoIt) {
  shell.stepMs = 50;  // the download takes 50 ms
  files.files[kOld] = "leftover";
  files.readOnly.insert(kOld);  // a read-only backup is still replaced

  EXPECT_EQ(Apply(), static_cast<int>(kRelease.size()));

  // The statement first, looked up like the release by this program's
  // checksum; then the release.
  EXPECT_EQ(urls, (std::vector<std::string>{"http://svc/tollimer/update/file/00FF00FF.sig",
                                            "http://svc/tollimer/update/file/00FF00FF.bin > " + kNew}));
  EXPECT_EQ(files.files[kExe], kRelease);
  EXPECT_FALSE(files.Exists(kNew));
  // The new program starts, and says it is up, before the box and before
  // this one closes.
  EXPECT_EQ(shell.calls, (std::vector<std::string>{"Title ORVAssistant-UpdateOK..", "Start " + kExe, "Wait",
                                                   "Message", "Close"}));
  EXPECT_EQ(shell.waitedMs, 30000);
  EXPECT_EQ(shell.messageCaption, "Tollimer-自动更新成功");
  EXPECT_EQ(shell.messageText, "网吧Tollimer-自动更新成功，确定后重新启动!\r\n\r\n当前速度:100.04 KB/S");
  EXPECT_EQ(shell.messageMs, 3000);
  EXPECT_TRUE(LogTexts().empty());
}

TEST_F(SelfUpdateFixture, ABuildWithoutAKeyTrustsTheIdentitiesAlone) {
  SelfUpdate unsigned_{files, shell, log, source, std::nullopt, kRunning, kExe, "http://svc/tollimer/update/"};
  signature = "";
  EXPECT_EQ(unsigned_.ApplyUpdate("00FF00FF", CrcOf(kRelease), 60), static_cast<int>(kRelease.size()));
  EXPECT_EQ(files.files[kExe], kRelease);
  EXPECT_EQ(urls.size(), 1u);  // no signature asked for
}

struct FailureCase {
  const char* name;
  std::function<void(SelfUpdateFixture&)> arrange;
  int result;
  std::vector<std::string> log;
  bool newLeft;  // P + ".NEW" still there afterwards
};
void PrintTo(const FailureCase& c, std::ostream* os) { *os << c.name; }

struct SelfUpdateFailureTest : SelfUpdateFixture, testing::WithParamInterface<FailureCase> {};

TEST_P(SelfUpdateFailureTest, KeepsTheRunningExecutableInPlace) {
  const FailureCase& c = GetParam();
  c.arrange(*this);
  EXPECT_EQ(Apply(identities), c.result);
  EXPECT_EQ(files.files[kExe], "running program");
  EXPECT_EQ(files.Exists(kNew), c.newLeft);
  EXPECT_EQ(LogTexts(), c.log);
  EXPECT_TRUE(shell.calls.empty());
}

INSTANTIATE_TEST_SUITE_P(
    SelfUpdate, SelfUpdateFailureTest,
    testing::Values(
        FailureCase{"NotFound", [](auto& f) { f.result = -5; }, -5, {"＃自动更新失败C,CODE:-5"}, false},
        FailureCase{"NothingDownloaded", [](auto& f) { f.served = "", f.result = 0; }, 0,
                    {"＃自动更新失败C,CODE:0"}, false},
        // A cut download, or other bytes than the release: never swapped in.
        FailureCase{"CutShort",
                    [](auto& f) { f.served = kRelease.substr(0, 5), f.result = 5; }, 0,
                    {"＃自动更新失败D,CODE:CRC=" + CrcOf(kRelease.substr(0, 5)), "UpdateBackoff=3600s"}, false},
        FailureCase{"Garbage", [](auto& f) { f.served = "<html>oops</html>"; }, 0,
                    {"＃自动更新失败D,CODE:CRC=" + CrcOf("<html>oops</html>"), "UpdateBackoff=3600s"}, false},
        FailureCase{"BackupLocked",
                    [](auto& f) { f.files.files[kOld] = "x", f.files.locked.insert(kOld); }, 0,
                    {"＃Delete Bakfile!"}, false},
        FailureCase{"FirstRenameFails", [](auto& f) { f.files.locked.insert(kExe); }, 0,
                    {"＃自动更新失败A,CODE:ReName1"}, false},
        // The second rename fails after the first moved the program away: it
        // is moved back. The download, held by another program, stays.
        FailureCase{"SecondRenameFails", [](auto& f) { f.files.locked.insert(kNew); }, 0,
                    {"＃自动更新失败B,CODE:ReName2", "Restore=1"}, true},
        // The announced CRC, but not the operator's program: never downloaded.
        FailureCase{"StatementNotFound", [](auto& f) { f.signature = "no release\n"; }, 0,
                    {"＃自动更新失败E,CODE:NoSign", "UpdateBackoff=3600s"}, false},
        FailureCase{"NoStatementReply", [](auto& f) { f.signature = ""; }, 0,
                    {"＃自动更新失败E,CODE:NoSign", "UpdateBackoff=3600s"}, false},
        FailureCase{"StatementCut", [](auto& f) { f.signature = kSignature.substr(0, 100); }, 0,
                    {"＃自动更新失败E,CODE:NoSign", "UpdateBackoff=3600s"}, false},
        FailureCase{"TheOldDetachedForm", [](auto& f) { f.signature = kOldFormSignature; }, 0,
                    {"＃自动更新失败E,CODE:OldSign", "UpdateBackoff=3600s"}, false},
        FailureCase{"SignedWithAnotherKey", [](auto& f) { f.signature = kOtherKeysSignature; }, 0,
                    {"＃自动更新失败E,CODE:BadSign", "UpdateBackoff=3600s"}, false},
        FailureCase{"ForTheOtherProcessor",
                    [](auto& f) { f.signature = ReadFixture(kData + "release.x86.statement"); }, 0,
                    {"＃自动更新失败E,CODE:Machine", "UpdateBackoff=3600s"}, false},
        FailureCase{"NotAboveTheRunningRelease",
                    [](auto& f) { f.signature = ReadFixture(kData + "release.old.statement"); }, 0,
                    {"＃自动更新失败E,CODE:NotNewer", "UpdateBackoff=3600s"}, false},
        // The statement of another file: the download is not the stated one.
        FailureCase{"TheFileIsNotTheStatedOne", [](auto& f) { f.signature = kAnotherFilesSignature; }, 0,
                    {"＃自动更新失败E,CODE:Sha256", "UpdateBackoff=3600s"}, false},
        // A program of the attacker's with its CRC announced: the statement
        // served is the real release's.
        FailureCase{"AnotherProgramWithItsCrcAnnounced",
                    [](auto& f) {
                      f.served = "MZ attacker's program";
                      f.identities = CrcOf(f.served);
                    },
                    0,
                    {"＃自动更新失败E,CODE:Sha256", "UpdateBackoff=3600s"}, false}),
    [](const testing::TestParamInfo<FailureCase>& info) { return info.param.name; });

// A refused statement: nothing downloaded, and the same announcement is not
// tried again before its back-off, however often the exchange repeats.
TEST_F(SelfUpdateFixture, ARefusedReleaseIsNotFetchedAgainWithinItsBackOff) {
  signature = ReadFixture(kData + "release.old.statement");
  EXPECT_EQ(Apply(), 0);
  EXPECT_EQ(urls, std::vector<std::string>{"http://svc/tollimer/update/file/00FF00FF.sig"});
  for (std::int64_t minutes : {1, 10, 59}) {
    shell.now = 1000 + minutes * 60000;
    EXPECT_EQ(Apply(), 0) << minutes;
  }
  EXPECT_EQ(urls.size(), 1u);
  signature = kSignature;  // the operator mends the release
  shell.now = 1000 + 60 * 60000;
  EXPECT_EQ(Apply(), static_cast<int>(kRelease.size()));
  EXPECT_EQ(files.files[kExe], kRelease);
}

TEST_F(SelfUpdateFixture, TheAnnouncementsIdentitiesDecideNotTheDownloadAlone) {
  // Identities of another release: the download does not match them.
  EXPECT_EQ(Apply("11112222"), 0);
  EXPECT_EQ(files.files[kExe], "running program");
  EXPECT_EQ(Apply(""), 0);
  EXPECT_EQ(files.files[kExe], "running program");
}

TEST_F(SelfUpdateFixture, ANestedStartDoesNothing) {
  int nested = -100;
  SelfUpdate* self = &update;
  SelfUpdate reentrant{files, shell, log,
                       {[&](const std::string&, const std::string& destination) {
                          nested = self->ApplyUpdate("00FF00FF", CrcOf(kRelease), 60);
                          files.files[destination] = kRelease;
                          return static_cast<int>(kRelease.size());
                        },
                        [](const std::string&) { return kSignature; }},
                       ParseReleaseKey(kTestReleaseKey), kRunning, kExe, "http://svc/"};
  self = &reentrant;
  EXPECT_EQ(reentrant.ApplyUpdate("00FF00FF", CrcOf(kRelease), 60), static_cast<int>(kRelease.size()));
  EXPECT_EQ(nested, 0);
}

// The new program is started before this one ends; when it cannot start
// (blocked by policy, an antivirus) or starts and never says it is up (its
// imports fail, it crashes), this one goes on from its own file, shows no
// box, and never tries that release again while it runs.
void ExpectTakenBack(SelfUpdateFixture& f, unsigned long startError, const std::vector<std::string>& calls,
                     const std::vector<std::string>& log) {
  f.shell.startError = startError;
  f.shell.comesUp = false;
  EXPECT_EQ(f.Apply(), 0);
  EXPECT_EQ(f.files.files[kExe], "running program");
  EXPECT_FALSE(f.files.Exists(kNew));
  EXPECT_FALSE(f.files.Exists(kOld));
  EXPECT_EQ(f.LogTexts(), log);
  // Never closed, no box, and it counts as the running instance again.
  EXPECT_EQ(f.shell.calls, calls);
  EXPECT_EQ(f.shell.title, "网吧Tollimer");
  // Not again in this process's life, however long it runs.
  f.shell.now += 30LL * 24 * 60 * 60000;
  const std::size_t asked = f.urls.size();
  EXPECT_EQ(f.Apply(), 0);
  EXPECT_EQ(f.urls.size(), asked);
}

TEST_F(SelfUpdateFixture, ANewProgramThatCannotStartIsTakenBack) {
  ExpectTakenBack(*this, 1260,  // ERROR_ACCESS_DISABLED_BY_POLICY
                  {"Title ORVAssistant-UpdateOK..", "Start " + kExe, "Title 网吧Tollimer"},
                  {"＃自动更新失败F,CODE:Start=1260", "Restore=1"});
}

TEST_F(SelfUpdateFixture, ANewProgramThatNeverSaysItIsUpIsEndedAndTakenBack) {
  ExpectTakenBack(*this, 0,
                  {"Title ORVAssistant-UpdateOK..", "Start " + kExe, "Wait", "End", "Title 网吧Tollimer"},
                  {"＃自动更新失败G,CODE:NoReply", "Restore=1"});
}

TEST_F(SelfUpdateFixture, ABackupThatCannotGoBackLeavesTheReleaseInPlace) {
  shell.startError = 1260;
  files.locked.insert(kOld);  // once it exists, another program holds the backup
  EXPECT_EQ(Apply(), 0);
  // Better the release than no program at all.
  EXPECT_EQ(files.files[kExe], kRelease);
  EXPECT_EQ(files.files[kOld], "running program");
  EXPECT_EQ(LogTexts(), (std::vector<std::string>{"＃自动更新失败F,CODE:Start=1260", "Restore=0"}));
  EXPECT_FALSE(files.Exists(kNew));
}

// At start-up the backup goes; the predecessor that ran from it may still be
// ending for a moment, never for long.
TEST_F(SelfUpdateFixture, RemovesTheLeftoverBackupOnceItsProgramHasEnded) {
  struct Case {
    const char* name;
    bool exists, readOnly;
    int freedAfterWaits;  // locked until this many waits; -1: for good
    bool gone;
    int waits;
  };
  for (const Case& c : {Case{"None", false, false, 0, true, 0}, Case{"Plain", true, false, 0, true, 0},
                        Case{"ReadOnly", true, true, 0, true, 0}, Case{"StillEnding", true, false, 3, true, 3},
                        Case{"HeldForGood", true, false, -1, false, 79}}) {
    SCOPED_TRACE(c.name);
    files.files.erase(kOld);
    files.locked.clear();
    if (c.exists) files.files[kOld] = "previous program";
    if (c.readOnly) files.readOnly.insert(kOld);
    if (c.freedAfterWaits != 0) files.locked.insert(kOld);
    int waits = 0;
    update.RemoveLeftoverBackup([&](int ms) {
      EXPECT_EQ(ms, 100);
      if (++waits == c.freedAfterWaits) files.locked.erase(kOld);
    });
    EXPECT_EQ(files.Exists(kOld), !c.gone);
    EXPECT_EQ(waits, c.waits);
  }
}

TEST(SpeedText, BytesPerMillisecondWithTwoDecimals) {
  struct Case { long long bytes, ms; const char* text; };
  for (Case c : {Case{2048, 1000, "2.05 KB/S"}, Case{1000, 0, "1000.00 KB/S"},
                 Case{5000000000LL, 1, "5000000000.00 KB/S"}, Case{0, 10, "0.00 KB/S"}}) {
    EXPECT_EQ(SpeedText(c.bytes, c.ms), c.text) << c.bytes << "/" << c.ms;
  }
}

}  // namespace
