#include <windows.h>

#include "platform/platform_win.h"

std::string SystemErrorText(unsigned long code) {
  char buffer[512] = {};
  DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
                           0, buffer, sizeof buffer, nullptr);
  while (n > 0 && (buffer[n - 1] == '\r' || buffer[n - 1] == '\n' || buffer[n - 1] == ' ')) --n;
  return std::string(buffer, n);
}

bool Win32Files::Exists(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool Win32Files::Delete(const std::string& path) { return DeleteFileA(path.c_str()) != FALSE; }

FileResult Win32Files::Append(const std::string& path, const std::string& bytes) {
  // Others may read the file while it is open, not write it.
  HANDLE file = CreateFileA(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    DWORD error = GetLastError();
    return {false, error, SystemErrorText(error)};
  }
  DWORD written = 0;
  BOOL ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  DWORD error = ok ? 0 : GetLastError();
  if (!CloseHandle(file) && ok) {
    ok = FALSE;
    error = GetLastError();
  }
  if (!ok || written != bytes.size()) return {false, error, SystemErrorText(error)};
  return {};
}

FileResult Win32Files::ReadPieces(const std::string& path,
                                  const std::function<void(std::string_view piece)>& sink) {
  // The cashier may keep the file open in an editor, or replace it, while it
  // is read: share everything.
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    DWORD error = GetLastError();
    return {false, error, SystemErrorText(error)};
  }
  static constexpr DWORD kPiece = 64 * 1024;
  std::string buffer(kPiece, '\0');
  FileResult result;
  try {
  for (;;) {
    DWORD read = 0;
    if (!ReadFile(file, buffer.data(), kPiece, &read, nullptr)) {
      DWORD error = GetLastError();
      result = {false, error, SystemErrorText(error)};
      break;
    }
    if (read == 0) break;
    sink(std::string_view(buffer.data(), read));
  }
  } catch (...) {
    CloseHandle(file);  // the caller's failure passes on; the handle does not leak
    throw;
  }
  CloseHandle(file);
  return result;
}
