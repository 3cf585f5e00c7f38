#pragma once

#include <windows.h>

// The program's own icon, resource 1 of the running executable, at the
// system's big and small sizes: the caption, the taskbar button and Alt+Tab
// show the icon a window answers WM_GETICON with, and a window that has none
// shows Windows' blank one.
void GiveProgramIcon(HWND window);
