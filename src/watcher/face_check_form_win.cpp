#include "watcher/face_check_form_win.h"
#include "platform/member_window_proc_win.h"

#include <algorithm>

#include "watcher/window_capture_win.h"

namespace {

constexpr const char* kFormClass = "TfrmFaceCheck";
constexpr const char* kPanelClass = "TPanel";
constexpr const char* kImageClass = "TImage";
constexpr UINT_PTR kTimer2 = 2;
constexpr UINT kTimer2Interval = 100;  // ms
constexpr COLORREF kSilver = RGB(192, 192, 192);
constexpr COLORREF kRed = RGB(255, 0, 0);

constexpr DWORD kFormStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
constexpr DWORD kFormExStyle = WS_EX_DLGMODALFRAME;

void RegisterOnce(const char* name, WNDPROC proc, HBRUSH background) {
  WNDCLASSA wc = {};
  HINSTANCE instance = GetModuleHandleA(nullptr);
  if (GetClassInfoA(instance, name, &wc)) return;
  wc.lpfnWndProc = proc;
  wc.hInstance = instance;
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  wc.hbrBackground = background;
  wc.lpszClassName = name;
  RegisterClassA(&wc);
}

HWND Child(HWND parent, const char* cls, const char* text, DWORD style, int x, int y, int w, int h,
           HFONT font, void* param = nullptr) {
  HWND hwnd = CreateWindowExA(0, cls, text, WS_CHILD | WS_VISIBLE | style, x, y, w, h, parent, nullptr,
                              GetModuleHandleA(nullptr), param);
  if (hwnd && font) SendMessageA(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  return hwnd;
}

// Height in pixels, negative: the character height without leading.
HFONT BoldFont(int height) {
  return CreateFontA(height, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, GB2312_CHARSET, OUT_DEFAULT_PRECIS,
                     CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, "宋体");
}

}  // namespace

TfrmFaceCheck::~TfrmFaceCheck() {
  if (hwnd_ && IsWindow(hwnd_)) DestroyWindow(hwnd_);
}

bool TfrmFaceCheck::Create(HWND owner) {
  RegisterOnce(kFormClass, FormProc, reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1));
  RegisterOnce(kPanelClass, DefWindowProcA, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
  RegisterOnce(kImageClass, ImageProc, nullptr);

  RECT frame{0, 0, kClientWidth, kClientHeight};
  AdjustWindowRectEx(&frame, kFormStyle, FALSE, kFormExStyle);
  hwnd_ = CreateWindowExA(kFormExStyle, kFormClass, "人脸比对中...", kFormStyle, 0, 0,
                          frame.right - frame.left, frame.bottom - frame.top, owner, nullptr,
                          GetModuleHandleA(nullptr), this);
  return hwnd_ != nullptr;
}

void TfrmFaceCheck::CreateControls() {
  // 9-point bold, so the 18 characters of an ID number fit edt_CID's width;
  // the customer's tip is larger.
  boldFont_ = BoldFont(-12);
  tipFont_ = BoldFont(-16);
  silverBrush_ = CreateSolidBrush(kSilver);

  Child(hwnd_, "STATIC", "身份证号:", SS_CENTER, 167, 24, 106, 25, boldFont_);        // Label2
  edt_CID_ = Child(hwnd_, "EDIT", "", ES_READONLY | ES_AUTOHSCROLL | WS_BORDER, 267, 22, 169, 24,
                   boldFont_);
  panel_ = Child(hwnd_, kPanelClass, "", WS_BORDER | WS_CLIPCHILDREN, 27, 68, 644, 484, nullptr);  // Panel1
  // Image1 fills the panel inside its border.
  RECT inside{};
  GetClientRect(panel_, &inside);
  img_ = Child(panel_, kImageClass, "", 0, (inside.right - kImageWidth) / 2,
               (inside.bottom - kImageHeight) / 2, kImageWidth, kImageHeight, nullptr, this);
  lbl_tip_ = Child(hwnd_, "STATIC", "提示:人脸在圆形中,做眨眼动作,不要大幅度晃动", SS_CENTER, -12, 568, 728,
                   36, tipFont_);
}

void TfrmFaceCheck::SetIdText(const std::string& text) { SetWindowTextA(edt_CID_, text.c_str()); }

void TfrmFaceCheck::Show() {
  // Shown without taking the keyboard from the cashier's programs.
  ShowWindow(hwnd_, SW_SHOWNOACTIVATE);
}

void TfrmFaceCheck::Hide() {
  // Also when the form is already hidden: it may have been hidden by a way
  // that left something behind.
  LetGo();
  ShowWindow(hwnd_, SW_HIDE);
}

void TfrmFaceCheck::LetGo() {
  // The next customer must not see this one's picture, not even for the
  // first copy's 100 ms, nor at all when their preview cannot be copied;
  // nor this one's ID number, and nothing is copied while nobody looks.
  SetTimer2Enabled(false);
  if (edt_CID_) SetWindowTextA(edt_CID_, "");
  if (picture_) {
    DeleteObject(picture_);
    picture_ = nullptr;
    InvalidateRect(img_, nullptr, FALSE);
  }
}

bool TfrmFaceCheck::IsShown() { return hwnd_ && IsWindowVisible(hwnd_); }

void TfrmFaceCheck::SetTimer2Enabled(bool enabled) {
  if (!hwnd_) return;
  if (enabled) {
    timer2On_ = SetTimer(hwnd_, kTimer2, kTimer2Interval, nullptr) != 0;
  } else {
    KillTimer(hwnd_, kTimer2);
    timer2On_ = false;
  }
}

void TfrmFaceCheck::Timer2Timer() {
  // A preview that went away leaves the last picture in place until the
  // watch cycle hides the form.
  HBITMAP copy = CaptureWindowBitmap(preview_);
  if (!copy) return;
  HBITMAP previous = picture_;
  picture_ = copy;
  if (previous) DeleteObject(previous);
  InvalidateRect(img_, nullptr, FALSE);
}

void TfrmFaceCheck::PaintImage(HWND image) {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(image, &ps);
  RECT all{};
  GetClientRect(image, &all);
  int drawnWidth = 0, drawnHeight = 0;
  if (picture_) {
    BITMAP info{};
    GetObjectA(picture_, sizeof info, &info);
    drawnWidth = std::min<int>(info.bmWidth, all.right);
    drawnHeight = std::min<int>(info.bmHeight, all.bottom);
    if (HDC memoryDc = CreateCompatibleDC(dc)) {
      HGDIOBJ previous = SelectObject(memoryDc, picture_);
      // Drawn at its own size from the top-left corner, as the camera
      // picture comes; the rest of the image stays black.
      BitBlt(dc, 0, 0, drawnWidth, drawnHeight, memoryDc, 0, 0, SRCCOPY);
      SelectObject(memoryDc, previous);
      DeleteDC(memoryDc);
    }
  }
  HBRUSH black = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
  RECT right{drawnWidth, 0, all.right, all.bottom};
  RECT below{0, drawnHeight, drawnWidth, all.bottom};
  FillRect(dc, &right, black);
  FillRect(dc, &below, black);
  EndPaint(image, &ps);
}

LRESULT CALLBACK TfrmFaceCheck::FormProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  return MemberWindowProc<TfrmFaceCheck, &TfrmFaceCheck::hwnd_, &TfrmFaceCheck::OnMessage>(hwnd, msg, wParam,
                                                                                         lParam);
}

LRESULT CALLBACK TfrmFaceCheck::ImageProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_NCCREATE) {
    SetWindowLongPtrA(hwnd, GWLP_USERDATA,
                      reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams));
  }
  auto* self = reinterpret_cast<TfrmFaceCheck*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
  switch (msg) {
    case WM_ERASEBKGND:
      return 1;  // WM_PAINT covers every pixel
    case WM_PAINT:
      if (self) {
        self->PaintImage(hwnd);
        return 0;
      }
      break;
  }
  return DefWindowProcA(hwnd, msg, wParam, lParam);
}

LRESULT TfrmFaceCheck::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_CREATE:
      CreateControls();
      return 0;
    case WM_TIMER:
      if (wParam == kTimer2) Timer2Timer();
      return 0;
    case WM_CLOSE:
      // Closing by hand (the close box, or WM_CLOSE from anywhere) hides the
      // form as the watch cycle does; the window stays for the next dialog.
      Hide();
      return 0;
    case WM_SHOWWINDOW:
      // Every other way of hiding it lets go too.
      if (!wParam) LetGo();
      break;
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORSTATIC: {
      HDC dc = reinterpret_cast<HDC>(wParam);
      HWND control = reinterpret_cast<HWND>(lParam);
      if (control == edt_CID_) {  // read-only edits ask with WM_CTLCOLORSTATIC
        SetBkColor(dc, kSilver);
        return reinterpret_cast<LRESULT>(silverBrush_);
      }
      if (control == lbl_tip_) {
        SetTextColor(dc, kRed);
        SetBkMode(dc, TRANSPARENT);
        return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
      }
      break;
    }
    case WM_DESTROY:
      KillTimer(hwnd_, kTimer2);
      timer2On_ = false;
      if (picture_) DeleteObject(picture_);
      picture_ = nullptr;
      if (boldFont_) DeleteObject(boldFont_);
      boldFont_ = nullptr;
      if (tipFont_) DeleteObject(tipFont_);
      tipFont_ = nullptr;
      if (silverBrush_) DeleteObject(silverBrush_);
      silverBrush_ = nullptr;
      return 0;
    case WM_NCDESTROY: {
      HWND gone = hwnd_;
      hwnd_ = nullptr;
      return DefWindowProcA(gone, msg, wParam, lParam);
    }
  }
  return DefWindowProcA(hwnd_, msg, wParam, lParam);
}
