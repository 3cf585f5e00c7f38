#include <windows.h>

#include "app/process_env.h"
#include "crypto/crc32.h"
#include "util/literal_table.h"
#include "util/text.h"

namespace {

std::string ModulePath() {
  char buffer[MAX_PATH * 4] = {};
  DWORD n = GetModuleFileNameA(nullptr, buffer, sizeof buffer);
  return std::string(buffer, n);
}

std::string FileVersion(const std::string& path) {
  DWORD ignored = 0;
  DWORD size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
  if (size == 0) return "0.0.0.1";
  std::string data(size, '\0');
  VS_FIXEDFILEINFO* info = nullptr;
  UINT length = 0;
  if (!GetFileVersionInfoA(path.c_str(), 0, size, data.data()) ||
      !VerQueryValueA(data.data(), "\\", reinterpret_cast<void**>(&info), &length) || !info) {
    return "0.0.0.1";
  }
  return Format("%d.%d.%d.%d", (int)HIWORD(info->dwFileVersionMS), (int)LOWORD(info->dwFileVersionMS),
                (int)HIWORD(info->dwFileVersionLS), (int)LOWORD(info->dwFileVersionLS));
}

}  // namespace

ProcessEnvironment ReadProcessEnvironment() {
  ProcessEnvironment env;
  SYSTEMTIME t;
  GetLocalTime(&t);
  env.started = {t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds};
  env.exePath = ModulePath();
  env.programFolder = env.exePath.substr(0, env.exePath.rfind('\\') + 1);
  env.fileVersion = FileVersion(env.exePath);
  env.exeChecksum = Crc32FileText(env.exePath);
  env.serviceBase = Literal(lit::kServiceBase);
  env.updateAddress = env.serviceBase + Literal(lit::kUpdatePath);
  return env;
}
