// Win32 half of the code-page conversions: through UTF-16 with
// MultiByteToWideChar / WideCharToMultiByte, as every other ANSI program does.
#include "crypto/codepage.h"

#include <windows.h>

#include <climits>
#include <string>

namespace {

std::string_view UpToNul(std::string_view text) { return text.substr(0, text.find('\0')); }

// Bytes of code page `from` -> UTF-16; empty on failure.
std::wstring ToWide(UINT from, std::string_view text) {
  if (text.empty() || text.size() > INT_MAX) return {};
  int len = static_cast<int>(text.size());
  int wideLen = MultiByteToWideChar(from, 0, text.data(), len, nullptr, 0);
  if (wideLen <= 0) return {};
  std::wstring wide(static_cast<std::size_t>(wideLen), L'\0');
  wideLen = MultiByteToWideChar(from, 0, text.data(), len, wide.data(), wideLen);
  wide.resize(wideLen > 0 ? static_cast<std::size_t>(wideLen) : 0);
  return wide;
}

// UTF-16 -> bytes of code page `to`. For CP_ACP the system's default character
// stands in for what the code page lacks (the flags must stay 0 for CP_UTF8).
std::string FromWide(UINT to, const std::wstring& wide) {
  if (wide.empty() || wide.size() > INT_MAX) return {};
  int len = static_cast<int>(wide.size());
  int outLen = WideCharToMultiByte(to, 0, wide.data(), len, nullptr, 0, nullptr, nullptr);
  if (outLen <= 0) return {};
  std::string out(static_cast<std::size_t>(outLen), '\0');
  outLen = WideCharToMultiByte(to, 0, wide.data(), len, out.data(), outLen, nullptr, nullptr);
  out.resize(outLen > 0 ? static_cast<std::size_t>(outLen) : 0);
  return out;
}

}  // namespace

std::string Ansi_ToUtf8(std::string_view text) {
  return FromWide(CP_UTF8, ToWide(CP_ACP, UpToNul(text)));
}

std::string Utf8_ToAnsi(std::string_view utf8) {
  return FromWide(CP_ACP, ToWide(CP_UTF8, UpToNul(utf8)));
}
