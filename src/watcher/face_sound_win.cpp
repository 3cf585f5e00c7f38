#include "watcher/face_sound.h"

#include <windows.h>

long long MeasureFaceSound(const std::string& path) {
  // The ANSI call: the program folder is GBK text.
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return 0;
  if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return 0;
  return static_cast<long long>(data.nFileSizeHigh) << 32 | data.nFileSizeLow;
}
