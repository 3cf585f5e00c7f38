// The carousel's files over the ANSI calls: picture folders with Chinese names
// are common, and a GBK path must never pass through the C library.
#include <windows.h>

#include <algorithm>

#include "platform/picture_files.h"
#include "platform/platform_win.h"

namespace {

FileResult LastErrorResult() {
  const DWORD error = GetLastError();
  return {false, error, SystemErrorText(error)};
}

class HandleHolder {
 public:
  explicit HandleHolder(HANDLE h) : h_(h) {}
  ~HandleHolder() {
    if (h_ != INVALID_HANDLE_VALUE) CloseHandle(h_);
  }
  HandleHolder(const HandleHolder&) = delete;
  HandleHolder& operator=(const HandleHolder&) = delete;
  HANDLE get() const { return h_; }
  HANDLE release() {
    HANDLE h = h_;
    h_ = INVALID_HANDLE_VALUE;
    return h;
  }

 private:
  HANDLE h_;
};

class Win32PictureFiles : public PictureFiles {
 public:
  bool FolderExists(const std::string& path) override {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
  }

  bool FileExists(const std::string& path) override {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
  }

  std::vector<FolderEntry> List(const std::string& pattern) override {
    std::vector<FolderEntry> entries;
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA(pattern.c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return entries;
    do {
      entries.push_back({data.cFileName, (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0,
                         (std::uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow});
    } while (FindNextFileA(find, &data));
    FindClose(find);
    return entries;
  }

  FileResult ReadAll(const std::string& path, std::uint64_t maxBytes, std::string& bytes) override {
    bytes.clear();
    // Others may keep writing or replacing the file; a program that holds it
    // exclusively makes the open fail (sharing violation), which is reported.
    HandleHolder file(CreateFileA(path.c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file.get() == INVALID_HANDLE_VALUE) return LastErrorResult();
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file.get(), &size)) return LastErrorResult();
    if (static_cast<std::uint64_t>(size.QuadPart) > maxBytes) {
      return {false, 0, "file too large"};
    }
    bytes.resize(static_cast<std::size_t>(size.QuadPart));
    std::size_t done = 0;
    while (done < bytes.size()) {
      DWORD got = 0;
      const DWORD want = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1 << 24));
      if (!ReadFile(file.get(), bytes.data() + done, want, &got, nullptr)) {
        FileResult failed = LastErrorResult();
        bytes.clear();
        return failed;
      }
      if (got == 0) break;  // the file shrank meanwhile
      done += got;
    }
    bytes.resize(done);
    return {};
  }

  FileResult WriteAll(const std::string& path, const std::string& bytes) override {
    HandleHolder file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file.get() == INVALID_HANDLE_VALUE) return LastErrorResult();
    DWORD written = 0;
    if (!WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr)) {
      return LastErrorResult();
    }
    if (!CloseHandle(file.release())) return LastErrorResult();
    if (written != bytes.size()) return {false, ERROR_HANDLE_DISK_FULL, "file written short"};
    return {};
  }
};

}  // namespace

std::unique_ptr<PictureFiles> MakeWin32PictureFiles() { return std::make_unique<Win32PictureFiles>(); }
