#include "moving_picture.h"

#include <map>

#include "handlers.h"
#include "reply.h"

namespace {

std::map<HWND, unsigned> g_frames;

void Fill(HDC dc, int x, int y, int w, int h, COLORREF colour) {
  RECT r{x, y, x + w, y + h};
  HBRUSH brush = CreateSolidBrush(colour);
  FillRect(dc, &r, brush);
  DeleteObject(brush);
}

}  // namespace

void StartMovingPicture(HWND hwnd) {
  g_frames[hwnd] = 0;
  SetTimer(hwnd, kMovingPictureTimer, kMovingPictureInterval, nullptr);
}

void AdvanceMovingPicture(HWND hwnd) {
  ++g_frames[hwnd];
  InvalidateRect(hwnd, nullptr, FALSE);
}

void PaintMovingPicture(HWND hwnd, HDC dc) {
  static const COLORREF kPalette[] = {RGB(200, 40, 40), RGB(40, 160, 60), RGB(40, 70, 200),
                                      RGB(210, 180, 30), RGB(150, 40, 170), RGB(30, 170, 170)};
  const unsigned frame = g_frames[hwnd];
  RECT r{};
  GetClientRect(hwnd, &r);
  const int w = r.right > 0 ? r.right : 1;
  const int h = r.bottom > 0 ? r.bottom : 1;
  Fill(dc, 0, 0, w, h, kPalette[frame % 6]);
  Fill(dc, static_cast<int>((frame * 37) % static_cast<unsigned>(w)), 0, 12, h, RGB(255, 255, 255));
  Fill(dc, 0, static_cast<int>((frame * 23) % static_cast<unsigned>(h)), w, 8, RGB(0, 0, 0));
}

// frame HWND: the number of the picture the control shows now.
std::string CmdFrame(const Request& r) {
  auto it = g_frames.find(r.OwnWindow(0));
  if (it == g_frames.end()) Fail("not a moving picture");
  return Ok({std::to_string(it->second)});
}
