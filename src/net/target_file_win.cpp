#include <windows.h>

#include "net/target_file.h"

namespace {

class Win32TargetFile : public TargetFile {
 public:
  explicit Win32TargetFile(HANDLE file) : file_(file) {}
  ~Win32TargetFile() override {
    if (file_ != INVALID_HANDLE_VALUE) CloseHandle(file_);
  }
  bool Write(const char* data, std::size_t size) override {
    while (size > 0) {
      const DWORD piece = size > (1u << 30) ? (1u << 30) : static_cast<DWORD>(size);
      DWORD written = 0;
      if (!WriteFile(file_, data, piece, &written, nullptr) || written != piece) return false;
      data += piece;
      size -= piece;
    }
    return true;
  }
  // The bytes reach the disk before the file counts as written: a new
  // program that is checked and swapped in, then lost to a power cut still in
  // the cache, would leave the cashier PC with an empty executable.
  bool Close() override {
    HANDLE file = file_;
    file_ = INVALID_HANDLE_VALUE;
    const bool flushed = FlushFileBuffers(file) != FALSE;
    return CloseHandle(file) != FALSE && flushed;
  }

 private:
  HANDLE file_;
};

}  // namespace

bool TargetFileExists(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::unique_ptr<TargetFile> CreateTargetFile(const std::string& path) {
  for (const std::string& folder : FoldersLeadingTo(path, true)) CreateDirectoryA(folder.c_str(), nullptr);
  // Others may read the file while it is written, not change it.
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return nullptr;
  return std::make_unique<Win32TargetFile>(file);
}

std::unique_ptr<TargetFile> OpenTargetFileAtEnd(const std::string& path, long long* size) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return nullptr;
  auto target = std::make_unique<Win32TargetFile>(file);
  LARGE_INTEGER end = {};
  LARGE_INTEGER zero = {};
  if (!SetFilePointerEx(file, zero, &end, FILE_END)) return nullptr;
  *size = static_cast<long long>(end.QuadPart);
  return target;
}
