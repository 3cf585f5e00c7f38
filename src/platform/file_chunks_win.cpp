#include <windows.h>

#include <vector>

#include "platform/file_chunks.h"
#include "platform/platform_win.h"

namespace {

class FileHandle {
 public:
  explicit FileHandle(HANDLE h) : h_(h) {}
  ~FileHandle() {
    if (h_ != INVALID_HANDLE_VALUE) CloseHandle(h_);
  }
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;
  HANDLE get() const { return h_; }

 private:
  HANDLE h_;
};

FileResult LastErrorResult() {
  const DWORD error = GetLastError();
  return {false, error, SystemErrorText(error)};
}

}  // namespace

FileResult ReadFileChunks(const std::string& path, std::size_t chunkBytes,
                          const std::function<void(const void*, std::size_t)>& consume) {
  FileHandle file(CreateFileA(path.c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (file.get() == INVALID_HANDLE_VALUE) return LastErrorResult();
  std::vector<unsigned char> chunk(chunkBytes);
  for (;;) {
    DWORD n = 0;
    if (!ReadFile(file.get(), chunk.data(), static_cast<DWORD>(chunk.size()), &n, nullptr)) {
      return LastErrorResult();
    }
    if (n == 0) return {};
    consume(chunk.data(), n);
  }
}
