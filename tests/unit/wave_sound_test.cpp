#include "watcher/wave_sound.h"

#include <gtest/gtest.h>

#include "fakes/fake_clock.h"
#include "platform/sound.h"

namespace {

struct FakeSound : Sound {
  bool resourceExists = true;
  bool fileStarts = true;
  std::vector<std::string> played;
  bool PlayResource(const std::string& type, const std::string& name) override {
    if (resourceExists) played.push_back(type + ":" + name);
    return resourceExists;
  }
  bool PlayFile(const std::string& path) override {
    if (fileStarts) played.push_back(path);
    return fileStarts;
  }
};

TEST(PlayWaveSound, ResourcesWaitOnlyWhenFoundFilesAlwaysWait) {
  struct Case { bool exists; bool starts; const char* type; int result; std::vector<int> waits; };
  const Case cases[] = {
      {true, true, "WAV", 1, {500}},
      {false, true, "WAV", 0, {}},   // missing resource: no sound, no wait
      {true, true, "", 1, {500}},
      {true, false, "", 0, {500}},   // deleted file: nothing plays, the wait still happens
  };
  for (const auto& c : cases) {
    FakeSound sound;
    FakeClock clock;
    sound.resourceExists = c.exists;
    sound.fileStarts = c.starts;
    EXPECT_EQ(PlayWaveSound(sound, clock, c.type, "NOTIFY", 500), c.result) << c.type << c.exists << c.starts;
    EXPECT_EQ(clock.waits, c.waits);
  }
}

}  // namespace
