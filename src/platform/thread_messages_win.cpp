#include "platform/thread_messages_win.h"

namespace {

// A window property rather than a list: it goes with the window when the
// window is destroyed, and any loop can ask for it.
constexpr const char* kDialogKeysProperty = "Tollimer.DialogKeys";

}  // namespace

void TakeDialogKeys(HWND topLevel) { SetPropA(topLevel, kDialogKeysProperty, reinterpret_cast<HANDLE>(1)); }

void DispatchThreadMessage(MSG& msg) {
  if (msg.hwnd) {
    HWND root = GetAncestor(msg.hwnd, GA_ROOT);
    if (root && GetPropA(root, kDialogKeysProperty) && IsDialogMessageA(root, &msg)) return;
  }
  TranslateMessage(&msg);
  DispatchMessageA(&msg);
}
