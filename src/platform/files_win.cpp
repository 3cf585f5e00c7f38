#include <windows.h>

#include "platform/file_chunks.h"
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
  return ReadFileChunks(path, 64 * 1024, [&sink](const void* data, std::size_t size) {
    sink(std::string_view(static_cast<const char*>(data), size));
  });
}
