#include "text.h"

#include <windows.h>

#include <cerrno>
#include <cstdlib>

namespace {

std::wstring ToWide(const std::string& bytes, UINT codePage, DWORD flags, bool& ok) {
  ok = true;
  if (bytes.empty()) return std::wstring();
  int n = MultiByteToWideChar(codePage, flags, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
  if (n <= 0) {
    ok = false;
    return std::wstring();
  }
  std::wstring wide(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(codePage, flags, bytes.data(), static_cast<int>(bytes.size()), wide.data(), n);
  return wide;
}

}  // namespace

bool Utf8ToAnsi(const std::string& utf8, std::string& ansi) {
  bool ok = false;
  std::wstring wide = ToWide(utf8, CP_UTF8, MB_ERR_INVALID_CHARS, ok);
  ansi.clear();
  if (!ok) return false;
  if (wide.empty()) return true;
  BOOL lossy = FALSE;
  int n = WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, &lossy);
  if (n <= 0 || lossy) return false;
  ansi.resize(static_cast<size_t>(n));
  WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), ansi.data(), n, nullptr, nullptr);
  return true;
}

std::string AnsiToUtf8(const std::string& ansi) {
  bool ok = false;
  std::wstring wide = ToWide(ansi, CP_ACP, 0, ok);
  if (wide.empty()) return std::string();
  int n = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
  if (n <= 0) return std::string();
  std::string utf8(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), utf8.data(), n, nullptr, nullptr);
  return utf8;
}

std::string EscapeField(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '\t': out += "\\t"; break;
      case '\r': out += "\\r"; break;
      case '\n': out += "\\n"; break;
      default: out += c;
    }
  }
  return out;
}

std::vector<std::string> SplitLine(const std::string& line) {
  std::vector<std::string> fields(1);
  for (size_t i = 0; i < line.size(); ++i) {
    char c = line[i];
    if (c == '\t') {
      fields.emplace_back();
    } else if (c == '\\' && i + 1 < line.size()) {
      char e = line[++i];
      fields.back() += e == 't' ? '\t' : e == 'r' ? '\r' : e == 'n' ? '\n' : e;
    } else {
      fields.back() += c;
    }
  }
  return fields;
}

bool ParseInt(const std::string& text, long long& value) {
  size_t digits = text.size() - (!text.empty() && text[0] == '-' ? 1 : 0);
  if (digits == 0 || text.find_first_not_of("0123456789", text.size() - digits) != std::string::npos)
    return false;
  errno = 0;
  value = std::strtoll(text.c_str(), nullptr, 10);
  return errno == 0;
}

bool ParseUnsigned(const std::string& text, unsigned long long& value) {
  if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos) return false;
  errno = 0;
  value = std::strtoull(text.c_str(), nullptr, 10);
  return errno == 0;
}
