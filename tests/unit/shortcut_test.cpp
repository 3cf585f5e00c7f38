#include "desktop/shortcut.h"

#include <gtest/gtest.h>

#include <vector>

TEST(Shortcut, OnlyLinkPathsAreAccepted) {
  struct Case {
    const char* path;
    bool link;
  } cases[] = {
      {"C:\\Users\\a\\Desktop\\Tollimer.lnk", true},
      {"C:\\Users\\a\\Desktop\\Tollimer.LNK", true},
      {"C:\\桌面\\网吧.Lnk", true},
      {"C:\\Users\\a\\Desktop\\Tollimer.url", false},
      {"C:\\Users\\a\\Desktop\\Tollimer", false},
      {"C:\\a.lnk\\Tollimer", false},  // the dot belongs to a folder
      {"Tollimer.lnk.exe", false},
      {"", false},
  };
  for (const Case& c : cases) EXPECT_EQ(IsLinkPath(c.path), c.link) << c.path;
}

TEST(Shortcut, MadeOnceTheBarIsKnownAndOnlyWhenMissing) {
  struct Case {
    const char* barId;
    bool exists;
    bool made;
  } cases[] = {
      {"654321", false, true},
      {"1234567", false, true},
      {"-1", false, false},    // the billing console's configuration was not found
      {"12345", false, false},  // too short: the billing server is asked instead
      {"654321", true, false},  // left alone, whatever it points to
  };
  for (const Case& c : cases) {
    std::vector<ShortcutRequest> made;
    std::string asked;
    MakeDesktopShortcut(
        c.barId, "C:\\users\\收银\\Desktop\\", "C:\\网吧\\Tollimer.exe",
        [&](const std::string& path) { return asked = path, c.exists; },
        [&](const ShortcutRequest& r) { made.push_back(r); });
    ASSERT_EQ(made.size(), c.made ? 1u : 0u) << c.barId;
    if (!c.made) continue;
    EXPECT_EQ(asked, "C:\\users\\收银\\Desktop\\Tollimer.lnk");
    EXPECT_EQ(made[0].linkPath, asked);
    EXPECT_EQ(made[0].target, "C:\\网吧\\Tollimer.exe");
    EXPECT_EQ(made[0].arguments, "");
    EXPECT_EQ(made[0].iconIndex, 0);
    EXPECT_EQ(made[0].description, "网吧Tollimer");
  }
}
