#include "log/activity_log.h"

#include <gtest/gtest.h>

#include "fakes/fake_clock.h"
#include "fakes/fake_files.h"

namespace {

struct LogFixture : ::testing::Test {
  FakeFiles files;
  FakeClock clock;
  ActivityLog log{files, clock};
  LogFixture() { files.folders.insert("C:\\Prog\\LOGS\\"); }
};

TEST_F(LogFixture, LinesCarryTheTimestampWithUnpaddedMilliseconds) {
  log.SetSwitch(true, "C:\\Prog\\");
  for (int ms : {5, 45, 123, 0}) {
    clock.now = {2024, 3, 7, 9, 5, 3, ms};
    log.WriteLog("Load BlackList=12");
  }
  log.WriteLog("");
  log.WriteLog("a\r\nb");
  EXPECT_EQ(files.files["C:\\Prog\\LOGS\\2024-03-07.TXT"],
            "2024-03-07 09:05:03.5 Load BlackList=12\r\n"
            "2024-03-07 09:05:03.45 Load BlackList=12\r\n"
            "2024-03-07 09:05:03.123 Load BlackList=12\r\n"
            "2024-03-07 09:05:03.0 Load BlackList=12\r\n"
            "2024-03-07 09:05:03.0 \r\n"
            "2024-03-07 09:05:03.0 a\r\nb\r\n");
}

TEST_F(LogFixture, EachDayHasItsOwnFileAndMidnightOpensTheNewOne) {
  log.SetSwitch(true, "C:\\Prog\\");
  clock.now = {2024, 12, 31, 23, 59, 59, 999};
  log.WriteLog("old");
  clock.now = {2025, 1, 1, 0, 0, 0, 0};
  log.WriteLog("new");
  EXPECT_EQ(files.files["C:\\Prog\\LOGS\\2024-12-31.TXT"], "2024-12-31 23:59:59.999 old\r\n");
  EXPECT_EQ(files.files["C:\\Prog\\LOGS\\2025-01-01.TXT"], "2025-01-01 00:00:00.0 new\r\n");
}

TEST_F(LogFixture, SwitchedOffTouchesNothing) {
  log.SetSwitch(false, "C:\\Prog\\");
  log.WriteLog("x");
  EXPECT_EQ(files.appendCalls, 0);
  EXPECT_TRUE(files.files.empty());
}

TEST_F(LogFixture, PersistingFailureCostsABoundedNumberOfAttemptsPerCall) {
  for (const char* folder : {"C:\\Missing\\", "C:\\Prog\\"}) {
    files.readOnlyFolders.insert("C:\\Prog\\LOGS\\");
    files.appendCalls = 0;
    log.SetSwitch(true, folder);
    for (int i = 0; i < 100; ++i) log.WriteLog("line");
    EXPECT_EQ(files.appendCalls, 200) << folder;  // the line and one error line, per call
    EXPECT_TRUE(files.files.empty());
  }
}

TEST_F(LogFixture, PassingFailureIsRecordedAsAnErrorLine) {
  // A failure that does not persist: the first append fails, the error line lands.
  struct FlakyFiles : FakeFiles {
    bool failNext = true;
    FileResult Append(const std::string& path, const std::string& bytes) override {
      if (failNext) { failNext = false; return {false, 32, "The file is in use."}; }
      return FakeFiles::Append(path, bytes);
    }
  } flaky;
  flaky.folders.insert("C:\\Prog\\LOGS\\");
  ActivityLog flakyLog(flaky, clock);
  flakyLog.SetSwitch(true, "C:\\Prog\\");
  flakyLog.WriteLog("lost");
  EXPECT_EQ(flaky.files["C:\\Prog\\LOGS\\2024-03-07.TXT"],
            "2024-03-07 09:05:03.45 ＠ErrorLOG:0 / 32|The file is in use.\r\n");
}

}  // namespace
