#include "app/hot_key_registration.h"

#include <gtest/gtest.h>

#include <string>

#include "fakes/fake_clock.h"
#include "fakes/fake_files.h"
#include "log/activity_log.h"

namespace {

// The key is held by another program (the previous release, ending) for the
// first `heldFor` attempts; the start-up attempt is the first of them.
TEST(HotKeyRegistration, RetriedOnTheFirstWatchTicksUntilItIsOursAndLoggedOnce) {
  const struct {
    int heldFor;
    bool ours;             // after the ticks
    int attempts;          // start-up included
    const char* line;      // the one line logged, or ""
  } cases[] = {
      {0, true, 1, ""},                            // free at start-up: no retry, no line
      {1, true, 2, "HotKey=1,Tick=1"},
      {4, true, 5, "HotKey=1,Tick=4"},             // about 3 s after an update
      {kHotKeyRetryTicks, true, kHotKeyRetryTicks + 1, "HotKey=1,Tick=60"},
      {kHotKeyRetryTicks + 1, false, kHotKeyRetryTicks + 1, "HotKey=0,Tick=60"},
      {1000, false, kHotKeyRetryTicks + 1, "HotKey=0,Tick=60"},
  };
  for (const auto& c : cases) {
    FakeFiles files;
    FakeClock clock;
    files.folders.insert("C:\\T\\LOGS\\");
    ActivityLog log{files, clock};
    log.SetSwitch(true, "C:\\T\\");
    int attempts = 0, told = 0;
    HotKeyRegistration hotKey([&] { return ++attempts > c.heldFor; }, [&] { ++told; }, log);

    EXPECT_EQ(hotKey.Start(), c.heldFor == 0);
    for (int tick = 0; tick < 200; ++tick) hotKey.OnWatchTick();

    EXPECT_EQ(hotKey.Registered(), c.ours) << c.heldFor;
    EXPECT_EQ(told, c.ours ? 1 : 0) << c.heldFor;
    EXPECT_EQ(attempts, c.attempts) << c.heldFor;
    std::string written;
    for (const auto& [path, text] : files.files) written += text;
    if (*c.line) {
      EXPECT_NE(written.find(std::string(c.line) + "\r\n"), std::string::npos) << written;
      EXPECT_EQ(written.find("HotKey="), written.rfind("HotKey=")) << written;  // once
    } else {
      EXPECT_EQ(written, "") << c.heldFor;
    }
  }
}

}  // namespace
