// Win32 half of Crc32FileText: the GBK path goes to CreateFileA as it is.
#include <windows.h>

#include <vector>

#include "crypto/crc32.h"

std::string Crc32FileText(const std::string& path) {
  // Read sharing with writers too: the running executable is open by the
  // loader, a download may still be open by its writer.
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (file == INVALID_HANDLE_VALUE) return {};
  std::vector<unsigned char> chunk(64 * 1024);
  std::uint32_t crc = 0;
  bool readAll = true;
  for (;;) {
    DWORD n = 0;
    if (!ReadFile(file, chunk.data(), static_cast<DWORD>(chunk.size()), &n, nullptr)) {
      readAll = false;
      break;
    }
    if (n == 0) break;
    crc = Crc32(crc, chunk.data(), n);
  }
  CloseHandle(file);
  return readAll ? Crc32Text(crc) : std::string();
}
