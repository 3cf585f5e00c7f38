#include "watcher/wave_sound.h"

#include "platform/clock.h"
#include "platform/sound.h"

int PlayWaveSound(Sound& sound, Clock& clock, const std::string& type, const std::string& name,
                  int waitMilliseconds) {
  if (type.empty()) {
    const bool started = sound.PlayFile(name);
    clock.DelayWithMessages(waitMilliseconds);
    return started ? 1 : 0;
  }
  if (!sound.PlayResource(type, name)) return 0;
  clock.DelayWithMessages(waitMilliseconds);
  return 1;
}
