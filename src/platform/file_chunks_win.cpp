#include <windows.h>

#include <vector>

#include "platform/file_chunks.h"

bool ReadFileChunks(const std::string& path, std::size_t chunkBytes,
                    const std::function<void(const void*, std::size_t)>& consume) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  std::vector<unsigned char> chunk(chunkBytes);
  bool ok = true;
  for (;;) {
    DWORD n = 0;
    if (!ReadFile(file, chunk.data(), static_cast<DWORD>(chunk.size()), &n, nullptr)) {
      ok = false;
      break;
    }
    if (n == 0) break;
    consume(chunk.data(), n);
  }
  CloseHandle(file);
  return ok;
}
