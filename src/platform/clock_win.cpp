#include <windows.h>

#include "platform/platform_win.h"
#include "platform/thread_messages_win.h"

LocalTime Win32Clock::Now() {
  SYSTEMTIME t;
  GetLocalTime(&t);
  return {t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds};
}

void Win32Clock::DelayWithMessages(int milliseconds) {
  if (milliseconds <= 0) return;
  // The event is never signalled: it only gives MsgWaitForMultipleObjects a
  // handle to wait on while it watches the message queue.
  HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  const DWORD end = GetTickCount() + static_cast<DWORD>(milliseconds);
  for (LONG left = milliseconds; left > 0; left = static_cast<LONG>(end - GetTickCount())) {
    DWORD wait = MsgWaitForMultipleObjects(1, &event, FALSE, static_cast<DWORD>(left), QS_ALLINPUT);
    if (wait == WAIT_TIMEOUT || wait == WAIT_FAILED) break;
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) {
        // Leave the quit for the message loop that owns it.
        PostQuitMessage(static_cast<int>(msg.wParam));
        CloseHandle(event);
        return;
      }
      DispatchThreadMessage(msg);
    }
  }
  CloseHandle(event);
}
