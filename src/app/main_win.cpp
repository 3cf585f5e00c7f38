// Process entry: one instance only, a hidden application window whose
// caption marks the running instance, the main window, the message loop.
#include <windows.h>

#include "app/commands.h"
#include "app/main_form_win.h"

namespace {

HWND CreateApplicationWindow(HINSTANCE instance) {
  WNDCLASSA wc = {};
  wc.lpfnWndProc = DefWindowProcA;
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

  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  DestroyWindow(application);
  return 0;
}
