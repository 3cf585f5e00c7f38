#include "watch.h"

#include <windowsx.h>

#include <map>
#include <string>

#include "events.h"
#include "handles.h"
#include "moving_picture.h"
#include "html_page.h"

namespace {

// Posted to a window that must go away once the message in progress is done
// (destroying a dialog from inside its button's click would pull the window
// out from under the button's own code).
constexpr UINT kDestroyLater = WM_APP + 1;

struct Watched {
  WNDPROC original = nullptr;
  WatchOptions options;
  POINT pos{};  // screen coordinates of the window's top-left corner
  bool topmost = false;
};

std::map<HWND, Watched> g_watched;

// The button inside BM_CLICK: the control answers the click by sending itself
// WM_LBUTTONDOWN/UP at 0,0, which is no mouse input and is not recorded.
HWND g_clicking = nullptr;

bool IsTopmost(HWND hwnd) { return (GetWindowLongPtrA(hwnd, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0; }

POINT TopLeft(HWND hwnd) {
  RECT r{};
  GetWindowRect(hwnd, &r);
  return POINT{r.left, r.top};
}

// Records a move (screen coordinates) or a change of the topmost state, which
// is how the assistant places a window on the customer's screen.
void NotePosition(HWND hwnd, Watched& w) {
  POINT pos = TopLeft(hwnd);
  bool topmost = IsTopmost(hwnd);
  if (pos.x == w.pos.x && pos.y == w.pos.y && topmost == w.topmost) return;
  w.pos = pos;
  w.topmost = topmost;
  std::string detail = std::to_string(pos.x) + "," + std::to_string(pos.y);
  if (topmost) detail += ",topmost";
  RecordEvent(hwnd, "moved", detail);
}

void RecordMouse(HWND hwnd, const char* kind, LPARAM lParam) {
  if (hwnd == g_clicking) return;
  POINT pt{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
  ClientToScreen(hwnd, &pt);
  RecordEvent(hwnd, kind, std::to_string(pt.x) + "," + std::to_string(pt.y));
}

void RunClickAction(HWND button) {
  auto it = g_watched.find(button);
  if (it == g_watched.end()) return;
  switch (it->second.options.onClick) {
    case ClickAction::Close: PostMessageA(GetAncestor(button, GA_ROOT), kDestroyLater, 0, 0); break;
    case ClickAction::Disable: EnableWindow(button, FALSE); break;
    case ClickAction::None: break;
  }
}

bool PaintFill(HWND hwnd, HDC dc, COLORREF colour) {
  RECT r{};
  GetClientRect(hwnd, &r);
  HBRUSH brush = CreateSolidBrush(colour);
  FillRect(dc, &r, brush);
  DeleteObject(brush);
  return true;
}

LRESULT CALLBACK WatchProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  auto it = g_watched.find(hwnd);
  if (it == g_watched.end()) return DefWindowProcA(hwnd, msg, wParam, lParam);
  const WNDPROC original = it->second.original;
  const WatchOptions options = it->second.options;
  LRESULT pageAnswer = 0;
  if (AnswerPageRequest(hwnd, msg, wParam, pageAnswer)) return pageAnswer;

  switch (msg) {
    case WM_SETTEXT:
      if (options.hangOnSetTextMs > 0 && InSendMessage()) {
        it->second.options.hangOnSetTextMs = 0;
        Sleep(options.hangOnSetTextMs);
      }
      RecordEvent(hwnd, "settext", lParam ? reinterpret_cast<const char*>(lParam) : "");
      break;
    case BM_CLICK: {
      // Wine still clicks a disabled button; Windows does not, and the
      // assistant's retry logic depends on the Windows behaviour.
      if (!IsWindowEnabled(hwnd)) {
        RecordEvent(hwnd, "click-ignored");
        return 0;
      }
      RecordEvent(hwnd, "click");
      HWND outer = g_clicking;
      g_clicking = hwnd;
      LRESULT result = CallWindowProcA(original, hwnd, msg, wParam, lParam);
      g_clicking = outer;
      return result;
    }
    case CB_SETCURSEL:
      RecordEvent(hwnd, "setcursel", std::to_string(static_cast<int>(wParam)));
      break;
    case WM_CLOSE:
      RecordEvent(hwnd, "close");
      break;
    case WM_KEYDOWN:
      RecordEvent(hwnd, "keydown", std::to_string(wParam));
      break;
    case WM_KEYUP:
      RecordEvent(hwnd, "keyup", std::to_string(wParam));
      break;
    case WM_LBUTTONDOWN:
      RecordMouse(hwnd, "lbuttondown", lParam);
      break;
    case WM_LBUTTONUP:
      RecordMouse(hwnd, "lbuttonup", lParam);
      break;
    case WM_WINDOWPOSCHANGING: {
      // The z-order a mover asked for when it places a window on the
      // customer's screen (HWND_TOPMOST or HWND_NOTOPMOST); HWND_NOTOPMOST on
      // a window that is not topmost changes nothing visible, so it is
      // recorded here. Activation's own HWND_TOP moves are left out.
      const auto* wp = reinterpret_cast<const WINDOWPOS*>(lParam);
      if (!(wp->flags & SWP_NOZORDER) &&
          (wp->hwndInsertAfter == HWND_TOPMOST || wp->hwndInsertAfter == HWND_NOTOPMOST))
        RecordEvent(hwnd, "zorder", wp->hwndInsertAfter == HWND_TOPMOST ? "topmost" : "notopmost");
      break;
    }
    case WM_WINDOWPOSCHANGED: {
      const auto* wp = reinterpret_cast<const WINDOWPOS*>(lParam);
      if (wp->flags & SWP_SHOWWINDOW) RecordEvent(hwnd, "shown");
      if (wp->flags & SWP_HIDEWINDOW) RecordEvent(hwnd, "hidden");
      NotePosition(hwnd, it->second);
      break;
    }
    case WM_COMMAND:
      if (HIWORD(wParam) == BN_CLICKED && lParam != 0) {
        HWND child = reinterpret_cast<HWND>(lParam);
        RecordEvent(hwnd, "command", HandleText(child));
        RunClickAction(child);
      }
      break;
    case WM_DESTROY:
      RecordEvent(hwnd, "destroyed");
      break;
    case WM_NCDESTROY: {
      LRESULT result = CallWindowProcA(original, hwnd, msg, wParam, lParam);
      g_watched.erase(hwnd);
      ForgetPage(hwnd);
      return result;
    }
    case kDestroyLater:
      DestroyWindow(hwnd);
      return 0;
    case WM_TIMER:
      if (options.moving && wParam == kMovingPictureTimer) {
        AdvanceMovingPicture(hwnd);
        return 0;
      }
      break;
    case WM_ERASEBKGND:
      if (options.moving) return 1;
      if (options.hasFill) return PaintFill(hwnd, reinterpret_cast<HDC>(wParam), options.fill);
      break;
    case WM_PAINT:
      if (options.moving) {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd, &ps);
        PaintMovingPicture(hwnd, dc);
        EndPaint(hwnd, &ps);
        return 0;
      }
      if (options.hasFill) {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd, &ps);
        PaintFill(hwnd, dc, options.fill);
        EndPaint(hwnd, &ps);
        return 0;
      }
      break;
  }
  return CallWindowProcA(original, hwnd, msg, wParam, lParam);
}

}  // namespace

void Watch(HWND hwnd, const WatchOptions& options) {
  Watched& w = g_watched[hwnd];
  w.options = options;
  w.pos = TopLeft(hwnd);
  w.topmost = IsTopmost(hwnd);
  if (options.moving) StartMovingPicture(hwnd);
  // ANSI subclass (not SetWindowSubclass, whose procedure is Unicode), so that
  // WM_SETTEXT arrives here as the GBK bytes the other program sent.
  w.original = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrA(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(WatchProc)));
}

bool IsWatched(HWND hwnd) { return g_watched.count(hwnd) != 0; }
