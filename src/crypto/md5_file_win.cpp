// Win32 half of MD5_File: the file is mapped read-only and digested view by
// view, so a large file costs address space of one view only (32-bit builds
// cannot map a file of a gigabyte or more in one piece).
#include "crypto/md5.h"

#include <windows.h>

namespace {

// Bytes per mapped view: a multiple of the 64 KiB allocation granularity.
constexpr ULONGLONG kViewBytes = 16u << 20;

// Closes a kernel handle when the scope ends, on every return path.
class THandleHolder {
 public:
  explicit THandleHolder(HANDLE h) : h_(h) {}
  ~THandleHolder() {
    if (h_ != nullptr && h_ != INVALID_HANDLE_VALUE) CloseHandle(h_);
  }
  THandleHolder(const THandleHolder&) = delete;
  THandleHolder& operator=(const THandleHolder&) = delete;
  HANDLE get() const { return h_; }
  bool valid() const { return h_ != nullptr && h_ != INVALID_HANDLE_VALUE; }

 private:
  HANDLE h_;
};

// Feeds the whole file to `context`; false when it cannot be opened or mapped
// (missing, locked, or empty: an empty file has nothing to map).
bool DigestFile(const std::string& path, TMD5Context& context) {
  // Others may keep the file open for writing (the face sound may be in use).
  THandleHolder file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                 nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!file.valid()) return false;
  LARGE_INTEGER size;
  if (!GetFileSizeEx(file.get(), &size) || size.QuadPart <= 0) return false;
  // The mapping fixes the size it maps; while it exists nobody can shorten the
  // file (SetEndOfFile fails), so every mapped byte stays readable.
  THandleHolder mapping(CreateFileMappingA(file.get(), nullptr, PAGE_READONLY, 0, 0, nullptr));
  if (!mapping.valid()) return false;

  const auto total = static_cast<ULONGLONG>(size.QuadPart);
  for (ULONGLONG offset = 0; offset < total; offset += kViewBytes) {
    ULONGLONG length = total - offset < kViewBytes ? total - offset : kViewBytes;
    const void* view = MapViewOfFile(mapping.get(), FILE_MAP_READ, static_cast<DWORD>(offset >> 32),
                                     static_cast<DWORD>(offset), static_cast<SIZE_T>(length));
    if (view == nullptr) return false;
    context.Update(view, static_cast<std::size_t>(length));
    UnmapViewOfFile(view);
  }
  return true;
}

}  // namespace

std::string MD5_File(const std::string& path) {
  TMD5Context context;
  if (!DigestFile(path, context)) return MD5_Text("");
  return MD5_Hex(context.Final());
}
