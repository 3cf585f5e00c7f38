#include "watcher/window_capture_win.h"

HBITMAP CaptureWindowBitmap(HWND window) {
  if (window == nullptr || !IsWindow(window)) return nullptr;
  RECT rect{};
  if (!GetWindowRect(window, &rect)) return nullptr;
  const int width = rect.right - rect.left;
  const int height = rect.bottom - rect.top;
  if (width <= 0 || height <= 0) return nullptr;

  HDC windowDc = GetWindowDC(window);
  if (!windowDc) return nullptr;
  HBITMAP bitmap = nullptr;
  if (HDC memoryDc = CreateCompatibleDC(windowDc)) {
    bitmap = CreateCompatibleBitmap(windowDc, width, height);
    if (bitmap) {
      HGDIOBJ previous = SelectObject(memoryDc, bitmap);
      if (!BitBlt(memoryDc, 0, 0, width, height, windowDc, 0, 0, SRCCOPY)) {
        // Wine cannot read another process's window through that window's
        // own context (BitBlt fails and leaves the bitmap black); the
        // screen's context shows the same pixels where the window is.
        if (HDC screenDc = GetDC(nullptr)) {
          BitBlt(memoryDc, 0, 0, width, height, screenDc, rect.left, rect.top, SRCCOPY);
          ReleaseDC(nullptr, screenDc);
        }
      }
      // The bitmap leaves the memory context before the context is deleted,
      // so the caller gets a bitmap that no context holds.
      SelectObject(memoryDc, previous);
    }
    DeleteDC(memoryDc);
  }
  ReleaseDC(window, windowDc);
  return bitmap;
}
