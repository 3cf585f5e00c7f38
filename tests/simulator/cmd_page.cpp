// page, pagereads, hang: the audit client's CTID window beyond plain controls,
// its embedded page and a client that stops answering.
#include <sstream>

#include "handlers.h"
#include "html_page.h"
#include "reply.h"

namespace {

// Posted to the control window's thread: the simulator stops answering any
// window message for a while, as a hung program does.
constexpr UINT_PTR kHangTimer = 0x4851;

std::wstring Wide(const std::string& utf8) {
  int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.c_str(), static_cast<int>(utf8.size()), nullptr, 0);
  if (n <= 0 && !utf8.empty()) Fail("not UTF-8: " + utf8);
  std::wstring wide(static_cast<size_t>(n), L'\0');
  if (n > 0) MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), static_cast<int>(utf8.size()), wide.data(), n);
  return wide;
}

DWORD g_hangMs = 0;

void CALLBACK HangNow(HWND, UINT, UINT_PTR id, DWORD) {
  KillTimer(nullptr, id);
  Sleep(g_hangMs);
}

}  // namespace

std::string CmdPage(const Request& r) {
  HWND browser = r.OwnWindow(0);
  PageOptions options;
  if (r.Has("elements")) {
    std::istringstream in(r.Option("elements"));
    for (std::string item; std::getline(in, item, '|');) options.elements.push_back(Wide(item));
  }
  if (r.Has("nested")) {
    long long nested = r.NumberOption("nested");
    if (nested < 0 || nested > 100000) Fail("nested wants 0..100000");
    options.nested = static_cast<int>(nested);
  }
  if (r.Has("leaf")) options.leaf = Wide(r.Option("leaf"));
  if (r.Has("answers")) options.answers = r.FlagOption("answers");
  if (r.Has("vanish")) options.vanish = r.FlagOption("vanish");
  SetPage(browser, options);
  return Ok();
}

std::string CmdPageReads(const Request& r) { return Ok({std::to_string(PageReads(r.OwnWindow(0)))}); }

// The reply goes out first; the thread then sleeps, so every window of the
// simulator stops answering for `ms` milliseconds.
std::string CmdHang(const Request& r) {
  long long ms = r.Number(0);
  if (ms < 0 || ms > 60000) Fail("hang wants 0..60000 ms");
  g_hangMs = static_cast<DWORD>(ms);
  SetTimer(nullptr, kHangTimer, 1, HangNow);
  return Ok();
}
