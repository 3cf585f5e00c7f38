#include "request.h"

#include "handles.h"
#include "text.h"
#include "watch.h"

namespace {

long long ToNumber(const std::string& text, const std::string& what) {
  long long value = 0;
  if (!ParseInt(text, value)) Fail("bad number for " + what + ": " + text);
  return value;
}

bool ToFlag(const std::string& text, const std::string& what) {
  if (text != "0" && text != "1") Fail("expected 0 or 1 for " + what + ": " + text);
  return text == "1";
}

}  // namespace

void Fail(const std::string& reason) { throw CommandFailure{reason}; }

std::string Request::Text(size_t i) const {
  std::string ansi;
  if (!Utf8ToAnsi(Raw(i), ansi)) Fail("text is not UTF-8 or not representable in code page " + std::to_string(GetACP()));
  return ansi;
}

HWND Request::WindowOrDesktop(size_t i) const {
  HWND hwnd = nullptr;
  if (!ParseHandle(Raw(i), hwnd)) Fail("bad handle: " + Raw(i));
  if (hwnd && !IsWindow(hwnd)) Fail("no such window: " + Raw(i));
  return hwnd;
}

HWND Request::Window(size_t i) const {
  HWND hwnd = WindowOrDesktop(i);
  if (!hwnd) Fail("no such window: 0");
  return hwnd;
}

HWND Request::OwnWindow(size_t i) const {
  HWND hwnd = Window(i);
  if (!IsWatched(hwnd)) Fail("not a simulator window: " + Raw(i));
  return hwnd;
}

long long Request::Number(size_t i) const { return ToNumber(Raw(i), "field " + std::to_string(i + 1)); }

bool Request::Flag(size_t i) const { return ToFlag(Raw(i), "field " + std::to_string(i + 1)); }

unsigned long long Request::Param(size_t i) const {
  long long value = 0;
  unsigned long long unsignedValue = 0;
  if (ParseInt(Raw(i), value)) return static_cast<unsigned long long>(value);
  if (ParseUnsigned(Raw(i), unsignedValue)) return unsignedValue;
  Fail("bad message parameter: " + Raw(i));
}

long long Request::NumberOption(const std::string& key) const { return ToNumber(Option(key), key); }

bool Request::FlagOption(const std::string& key) const { return ToFlag(Option(key), key); }
