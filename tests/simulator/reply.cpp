#include "reply.h"

#include <cstring>

#include "request.h"
#include "text.h"

namespace {

constexpr UINT kSendTimeoutMs = 5000;

}  // namespace

std::string Ok(std::initializer_list<std::string> fields) {
  std::string reply = "ok";
  for (const std::string& field : fields) reply += "\t" + EscapeField(field);
  return reply;
}

std::string Err(const std::string& reason) { return "err\t" + EscapeField(reason); }

LRESULT SendOrFail(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  DWORD_PTR result = 0;
  if (!SendMessageTimeoutA(hwnd, msg, wParam, lParam, SMTO_ABORTIFHUNG, kSendTimeoutMs, &result))
    Fail("message " + std::to_string(msg) + " not answered, error " + std::to_string(GetLastError()));
  return static_cast<LRESULT>(result);
}

std::string ReadWindowText(HWND hwnd) {
  // WM_GETTEXT rather than GetWindowTextA, which returns nothing for another
  // process's controls. The length asked in one code page may be short in
  // the other, hence the double room.
  const LRESULT length = SendOrFail(hwnd, WM_GETTEXTLENGTH, 0, 0);
  std::string buffer(static_cast<size_t>(length) * 2 + 2, '\0');
  SendOrFail(hwnd, WM_GETTEXT, buffer.size(), reinterpret_cast<LPARAM>(buffer.data()));
  buffer.resize(std::strlen(buffer.c_str()));
  return buffer;
}
