#include "desktop/program_icon_win.h"

namespace {

// Shared images are owned by the system and live as long as the module:
// nothing to free when the window goes.
HICON ProgramIcon(int widthMetric, int heightMetric) {
  return static_cast<HICON>(LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(1), IMAGE_ICON,
                                       GetSystemMetrics(widthMetric), GetSystemMetrics(heightMetric),
                                       LR_SHARED));
}

}  // namespace

void GiveProgramIcon(HWND window) {
  // Each size picked from the icon file's own images, not one scaled by the shell.
  SendMessageA(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(ProgramIcon(SM_CXICON, SM_CYICON)));
  SendMessageA(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(ProgramIcon(SM_CXSMICON, SM_CYSMICON)));
}
