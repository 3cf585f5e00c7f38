// Copies of other windows' pictures and the red alert frame, over gdi32.
#pragma once
#include <windows.h>

// A new device-dependent bitmap holding the window's whole rectangle (frame
// included), copied from the window's own device context; the caller owns
// it. nullptr when the window is gone, empty or its context unavailable: a
// gone window must not turn into a copy of the whole screen, which is what
// GetWindowDC of no window gives.
HBITMAP CaptureWindowBitmap(HWND window);
