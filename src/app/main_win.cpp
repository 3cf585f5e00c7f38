// Process entry: one instance only, a hidden application window whose
// caption marks the running instance, the main window, the message loop.
#include <windows.h>

#include "app/commands.h"
#include "app/main_form_win.h"
#include "platform/thread_messages_win.h"

namespace {

HWND g_mainForm = nullptr;

// Closing the application window closes the main window, which then decides
// (hide or end) as for any close; it never tears the program down behind the
// main window's back.
LRESULT CALLBACK ApplicationWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_CLOSE && g_mainForm) {
    SendMessageA(g_mainForm, WM_CLOSE, 0, 0);
    return 0;
  }
  return DefWindowProcA(hwnd, msg, wParam, lParam);
}

HWND CreateApplicationWindow(HINSTANCE instance) {
  WNDCLASSA wc = {};
  wc.lpfnWndProc = ApplicationWindowProc;
  wc.hInstance = instance;
  wc.lpszClassName = "TApplication";
  RegisterClassA(&wc);
  // Never shown, so the assistant has no taskbar button.
  return CreateWindowExA(0, wc.lpszClassName, kApplicationTitle, WS_POPUP, 0, 0, 0, 0, nullptr,
                         nullptr, instance, nullptr);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  if (FindWindowA(nullptr, kApplicationTitle)) {
    Beep(500, 500);
    return 0;
  }
  static TOrv_Assistant mainForm(ReadProcessEnvironment());
  HWND application = CreateApplicationWindow(instance);
  if (!application || !mainForm.Create(application)) return 0;
  g_mainForm = mainForm.Handle();

  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) DispatchThreadMessage(msg);
  DestroyWindow(application);
  // A network job still in a socket wait: end now, before the objects it
  // uses are torn down.
  if (mainForm.NetworkWorkerRunning()) ExitProcess(0);
  return 0;
}
