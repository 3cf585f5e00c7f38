#include <windows.h>
#include <mmsystem.h>

#include "platform/platform_win.h"

bool Win32Sound::PlayResource(const std::string& type, const std::string& name) {
  HRSRC found = FindResourceA(nullptr, name.c_str(), type.c_str());
  if (!found) return false;
  HGLOBAL loaded = LoadResource(nullptr, found);
  if (!loaded) return false;
  // Resource memory lives as long as the module, so asynchronous playback
  // from it is safe.
  sndPlaySoundA(static_cast<LPCSTR>(LockResource(loaded)), SND_MEMORY | SND_ASYNC);
  return true;
}

bool Win32Sound::PlayFile(const std::string& path) {
  // A file that is gone plays nothing, not the system's default sound.
  return sndPlaySoundA(path.c_str(), SND_ASYNC | SND_NODEFAULT) != FALSE;
}
