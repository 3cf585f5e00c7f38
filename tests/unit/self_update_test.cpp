#include "net/self_update.h"

#include <gtest/gtest.h>

#include "fakes/fake_clock.h"
#include "fakes/fake_files.h"
#include "fakes/fake_update_files.h"
#include "log/activity_log.h"

namespace {

const std::string kExe = "C:\\网吧\\Tollimer.exe";
const std::string kNew = kExe + ".NEW";
const std::string kOld = kExe + ".old";
const std::string kRelease = "new release bytes";

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
  SelfUpdate update{files, shell, log,
                    [this](const std::string& url, const std::string& destination) {
                      urls.push_back(url + " > " + destination);
                      if (result >= 0) files.files[destination] = served;
                      return result;
                    },
                    kExe, "http://svc/tollimer/update/"};

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
    return update.ApplyUpdate("00FF00FF", identities);
  }
};

TEST_F(SelfUpdateFixture, SwapsInTheReleaseAndRestartsIntoIt) {
  shell.stepMs = 50;  // the download takes 50 ms
  files.files[kOld] = "leftover";
  files.readOnly.insert(kOld);  // a read-only backup is still replaced

  EXPECT_EQ(Apply(), static_cast<int>(kRelease.size()));

  EXPECT_EQ(urls, std::vector<std::string>{"http://svc/tollimer/update/file/00FF00FF.bin > " + kNew});
  EXPECT_EQ(files.files[kExe], kRelease);
  EXPECT_FALSE(files.Exists(kNew));
  EXPECT_EQ(shell.calls, (std::vector<std::string>{"Title ORVAssistant-UpdateOK..", "Message",
                                                   "Start " + kExe, "Close"}));
  EXPECT_EQ(shell.messageCaption, "Tollimer-自动更新成功");
  EXPECT_EQ(shell.messageText, "网吧Tollimer-自动更新成功，确定后重新启动!\r\n\r\n当前速度:0.34 KB/S");
  EXPECT_EQ(shell.messageMs, 3000);
  EXPECT_TRUE(LogTexts().empty());
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
  EXPECT_EQ(Apply(), c.result);
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
                    {"＃自动更新失败C,CODE:0"}, true},
        // A cut download, or other bytes than the release: never swapped in.
        FailureCase{"CutShort",
                    [](auto& f) { f.served = kRelease.substr(0, 5), f.result = 5; }, 0,
                    {"＃自动更新失败D,CODE:CRC=" + CrcOf(kRelease.substr(0, 5))}, false},
        FailureCase{"Garbage", [](auto& f) { f.served = "<html>oops</html>"; }, 0,
                    {"＃自动更新失败D,CODE:CRC=" + CrcOf("<html>oops</html>")}, false},
        FailureCase{"BackupLocked",
                    [](auto& f) { f.files.files[kOld] = "x", f.files.locked.insert(kOld); }, 0,
                    {"＃Delete Bakfile!"}, true},
        FailureCase{"FirstRenameFails", [](auto& f) { f.files.locked.insert(kExe); }, 0,
                    {"＃自动更新失败A,CODE:ReName1"}, true},
        // The second rename fails after the first moved the program away: it
        // is moved back.
        FailureCase{"SecondRenameFails", [](auto& f) { f.files.locked.insert(kNew); }, 0,
                    {"＃自动更新失败B,CODE:ReName2", "Restore=1"}, true}),
    [](const testing::TestParamInfo<FailureCase>& info) { return info.param.name; });

TEST_F(SelfUpdateFixture, ANewProgramThatDoesNotStartIsTakenBackAndTheOldOneKeepsRunning) {
  shell.startFails = true;
  EXPECT_EQ(Apply(), 0);
  EXPECT_EQ(files.files[kExe], "running program");
  EXPECT_FALSE(files.Exists(kOld));
  EXPECT_FALSE(files.Exists(kNew));
  EXPECT_EQ(shell.calls, (std::vector<std::string>{"Title ORVAssistant-UpdateOK..", "Message", "Start " + kExe,
                                                   "Title 网吧Tollimer"}));
  EXPECT_EQ(LogTexts(), (std::vector<std::string>{"＃自动更新失败E,CODE:Start", "Restore=1"}));
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
                       [&](const std::string&, const std::string& destination) {
                         nested = self->ApplyUpdate("00FF00FF", CrcOf(kRelease));
                         files.files[destination] = kRelease;
                         return static_cast<int>(kRelease.size());
                       },
                       kExe, "http://svc/"};
  self = &reentrant;
  EXPECT_EQ(reentrant.ApplyUpdate("00FF00FF", CrcOf(kRelease)), static_cast<int>(kRelease.size()));
  EXPECT_EQ(nested, 0);
}

TEST(SpeedText, BytesPerMillisecondWithTwoDecimals) {
  struct Case { long long bytes, ms; const char* text; };
  for (Case c : {Case{2048, 1000, "2.05 KB/S"}, Case{1000, 0, "1000.00 KB/S"},
                 Case{5000000000LL, 1, "5000000000.00 KB/S"}, Case{0, 10, "0.00 KB/S"}}) {
    EXPECT_EQ(SpeedText(c.bytes, c.ms), c.text) << c.bytes << "/" << c.ms;
  }
}

}  // namespace
