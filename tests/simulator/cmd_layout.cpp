// Reading another program's window layout: the client area a form's controls
// are placed in, and the items of a drop-down list.
#include <string>
#include <vector>

#include "handlers.h"
#include "reply.h"
#include "text.h"

namespace {

// UTF-16 -> UTF-8 for the channel.
std::string WideToUtf8(const std::wstring& wide) {
  if (wide.empty()) return {};
  const int size = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0,
                                       nullptr, nullptr);
  std::string out(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), out.data(), size, nullptr,
                      nullptr);
  return out;
}

// A wide message with a time-out, so a hung program fails the command.
LRESULT SendWide(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
  DWORD_PTR result = 0;
  if (!SendMessageTimeoutW(window, msg, wParam, lParam, SMTO_ABORTIFHUNG, 5000, &result)) {
    Fail("no answer to message " + std::to_string(msg));
  }
  return static_cast<LRESULT>(result);
}

}  // namespace

// Client width, height, and the client area's top-left corner on the screen.
std::string CmdClientRect(const Request& r) {
  HWND window = r.Window(0);
  RECT client{};
  POINT origin{0, 0};
  if (!GetClientRect(window, &client) || !ClientToScreen(window, &origin)) Fail("no client area");
  return Ok({std::to_string(client.right), std::to_string(client.bottom), std::to_string(origin.x),
             std::to_string(origin.y)});
}

// A combo box's items, one line each. The wide messages: the ANSI
// CB_GETLBTEXT across processes hands back UTF-16 bytes under Wine.
std::string CmdItems(const Request& r) {
  HWND combo = r.Window(0);
  const LRESULT count = SendOrFail(combo, CB_GETCOUNT, 0, 0);
  std::string reply = Ok();
  for (LRESULT i = 0; i < count; ++i) {
    const LRESULT length = SendWide(combo, CB_GETLBTEXTLEN, static_cast<WPARAM>(i), 0);
    std::wstring text(length > 0 ? static_cast<std::size_t>(length) + 1 : 1, L'\0');
    const LRESULT got = SendWide(combo, CB_GETLBTEXT, static_cast<WPARAM>(i),
                                     reinterpret_cast<LPARAM>(text.data()));
    text.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
    reply += "\nitem\t" + EscapeField(WideToUtf8(text));
  }
  return reply + "\nend";
}
