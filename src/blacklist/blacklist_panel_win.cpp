#include "blacklist/blacklist_panel_win.h"
#include "platform/member_window_proc_win.h"

#include <commctrl.h>

#include <string>

#include "blacklist/blacklist_panel.h"
#include "blacklist/blacklist_store.h"
#include "platform/thread_messages_win.h"

namespace {

constexpr const char* kClassName = "TfrmBlackList";
constexpr int kClientWidth = 442;
constexpr int kClientHeight = 640;
constexpr int kTitleHeight = 25;
constexpr int kLineHeight = 16;
// The system command that moves a window with the mouse, sent after the
// capture is released so the window follows the mouse until the button is up:
// SC_MOVE with the caption as the hit area (0xF012), which Windows and Wine
// both follow; under Wine SC_MOVE + 1 (0xF011) was seen to leave the window
// where it was.
constexpr WPARAM kMoveCommand = SC_MOVE | HTCAPTION;

enum ControlId : int {
  kIdList = 101,
  kIdLabel,
  kIdEdit,
  kIdFind,
  kIdUpdate,
  kIdSort,
  kIdClose,
};

COLORREF ToColorref(Rgb c) { return RGB(c.r, c.g, c.b); }

HWND Child(HWND parent, const char* cls, const char* text, DWORD style, int x, int y, int w, int h,
           int id) {
  return CreateWindowExA(0, cls, text, WS_CHILD | WS_VISIBLE | style, x, y, w, h, parent,
                         reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleA(nullptr),
                         nullptr);
}

void AddTip(HWND tips, HWND owner, HWND tool, const char* text) {
  TOOLINFOA info = {};
  info.cbSize = TTTOOLINFOA_V1_SIZE;
  info.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  info.hwnd = owner;
  info.uId = reinterpret_cast<UINT_PTR>(tool);
  info.lpszText = const_cast<char*>(text);
  SendMessageA(tips, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&info));
}

// The platform's case-insensitive text order, as the list sorts itself.
bool LessIgnoringCase(const std::string& a, const std::string& b) {
  return CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a.data(), static_cast<int>(a.size()),
                        b.data(), static_cast<int>(b.size())) == CSTR_LESS_THAN;
}

}  // namespace

TfrmBlackList::~TfrmBlackList() {
  if (hwnd_) DestroyWindow(hwnd_);
  for (HFONT font : {listFont_, boldFont_, fixedFont_}) {
    if (font) DeleteObject(font);
  }
}

bool TfrmBlackList::Create(HWND owner) {
  INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_WIN95_CLASSES};
  InitCommonControlsEx(&controls);  // the hints' tooltip window
  WNDCLASSA wc = {};
  wc.lpfnWndProc = WindowProc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = kClassName;
  RegisterClassA(&wc);
  // No border and no caption bar: the client area is the whole window.
  hwnd_ = CreateWindowExA(WS_EX_TOOLWINDOW, kClassName, "黑名单列表", WS_POPUP | WS_CLIPCHILDREN, 0,
                          0, kClientWidth, kClientHeight, owner, nullptr, wc.hInstance, this);
  if (!hwnd_) return false;
  TakeDialogKeys(hwnd_);
  return true;
}

void TfrmBlackList::Show() {
  if (!shownOnce_) {
    shownOnce_ = true;
    RECT work = {};
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
    SetWindowPos(hwnd_, nullptr, work.left + (work.right - work.left - kClientWidth) / 2,
                 work.top + (work.bottom - work.top - kClientHeight) / 2, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
  ShowWindow(hwnd_, SW_SHOW);
  SetForegroundWindow(hwnd_);
}

LRESULT CALLBACK TfrmBlackList::WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  return MemberWindowProc<TfrmBlackList, &TfrmBlackList::hwnd_, &TfrmBlackList::OnMessage>(hwnd, msg, wParam, lParam);
}

LRESULT TfrmBlackList::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_CREATE:
      CreateControls();
      return 0;
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(hwnd_, &ps);
      PaintTitle(dc);
      EndPaint(hwnd_, &ps);
      return 0;
    }
    case WM_SETCURSOR:
      // The title shows the move cursor: it is where the window is dragged.
      if (reinterpret_cast<HWND>(wParam) == hwnd_ && LOWORD(lParam) == HTCLIENT) {
        POINT pt;
        GetCursorPos(&pt);
        ScreenToClient(hwnd_, &pt);
        if (pt.y < kTitleHeight) {
          SetCursor(LoadCursor(nullptr, IDC_SIZEALL));
          return TRUE;
        }
      }
      break;
    case WM_LBUTTONDOWN:
      if (static_cast<short>(HIWORD(lParam)) < kTitleHeight) BlackList_Title_PanelMouseDown();
      return 0;
    case WM_MEASUREITEM:
      reinterpret_cast<MEASUREITEMSTRUCT*>(lParam)->itemHeight = kLineHeight;
      return TRUE;
    case WM_DRAWITEM:
      if (wParam == kIdList) {
        Black_ListBoxDrawItem(*reinterpret_cast<DRAWITEMSTRUCT*>(lParam));
        return TRUE;
      }
      break;
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case kIdUpdate: BlackList_Update_BtnClick(); return 0;
        case kIdSort: SpeedButton2Click(); return 0;
        case kIdClose: BlackList_Close_BtnClick(); return 0;
        case kIdFind: BlackList_Find_BtnClick(); return 0;
        case IDCANCEL: BlackList_Close_BtnClick(); return 0;  // Esc
        case kIdList:
          if (HIWORD(wParam) == LBN_SELCHANGE) Black_ListBoxClick();
          return 0;
      }
      break;
    case DM_GETDEFID:
      // Enter in the ID box finds.
      return MAKELRESULT(kIdFind, DC_HASDEFID);
    case WM_CLOSE:
      // Closing hides the panel; the list and its content stay.
      ShowWindow(hwnd_, SW_HIDE);
      return 0;
  }
  return DefWindowProcA(hwnd_, msg, wParam, lParam);
}

void TfrmBlackList::CreateControls() {
  listFont_ = CreateFontA(-12, 0, 0, 0, FW_NORMAL, 0, 0, 0, GB2312_CHARSET, 0, 0, 0,
                          FIXED_PITCH | FF_MODERN, "宋体");
  boldFont_ = CreateFontA(-12, 0, 0, 0, FW_BOLD, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, "宋体");
  fixedFont_ = CreateFontA(-12, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0,
                           FIXED_PITCH | FF_MODERN, "Courier New");

  BlackList_Update_Btn = Child(hwnd_, "BUTTON", "更", BS_PUSHBUTTON | BS_FLAT, 0, 0, 25, 25, kIdUpdate);
  SpeedButton2 = Child(hwnd_, "BUTTON", "↓", BS_PUSHBUTTON | BS_FLAT, kClientWidth - 52, 0, 25, 25,
                       kIdSort);
  BlackList_Close_Btn = Child(hwnd_, "BUTTON", "X", BS_PUSHBUTTON | BS_FLAT, kClientWidth - 25, 0, 25,
                              25, kIdClose);
  SendMessageA(BlackList_Close_Btn, WM_SETFONT, reinterpret_cast<WPARAM>(boldFont_), FALSE);

  // No data of its own: it draws the store's lines by index, so 100 000 lines
  // cost one LB_SETCOUNT; several lines can be selected at once.
  Black_ListBox = Child(hwnd_, "LISTBOX", "",
                        LBS_OWNERDRAWFIXED | LBS_NODATA | LBS_EXTENDEDSEL | LBS_NOTIFY |
                            LBS_NOINTEGRALHEIGHT | WS_VSCROLL | WS_BORDER,
                        3, 24, 433, 577, kIdList);
  SendMessageA(Black_ListBox, WM_SETFONT, reinterpret_cast<WPARAM>(listFont_), FALSE);
  SendMessageA(Black_ListBox, LB_SETITEMHEIGHT, 0, kLineHeight);

  BlackList_Label = Child(hwnd_, "STATIC", "Info:", SS_LEFT | SS_NOPREFIX, 8, 613, 241, 16, kIdLabel);
  BlackList_Edit = Child(hwnd_, "EDIT", "", ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP, 208, 610, 153, 24,
                         kIdEdit);
  SendMessageA(BlackList_Edit, EM_LIMITTEXT, 18, 0);
  SendMessageA(BlackList_Edit, WM_SETFONT, reinterpret_cast<WPARAM>(fixedFont_), FALSE);
  BlackList_Find_Btn = Child(hwnd_, "BUTTON", "查找(&S)", BS_PUSHBUTTON | WS_TABSTOP, 367, 609, 73, 25,
                             kIdFind);
  for (HWND h : {BlackList_Label, BlackList_Find_Btn, BlackList_Update_Btn, SpeedButton2}) {
    SendMessageA(h, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), FALSE);
  }

  tips_ = CreateWindowExA(WS_EX_TOPMOST, TOOLTIPS_CLASSA, nullptr, WS_POPUP | TTS_ALWAYSTIP, 0, 0, 0, 0,
                          hwnd_, nullptr, GetModuleHandleA(nullptr), nullptr);
  if (tips_) {
    SendMessageA(tips_, TTM_SETMAXTIPWIDTH, 0, 420);
    AddTip(tips_, hwnd_, BlackList_Update_Btn, "点击更新数据!");
    AddTip(tips_, hwnd_, SpeedButton2, "按身份证号码排序显示");
    AddTip(tips_, hwnd_, BlackList_Close_Btn, "关闭面板");
    AddTip(tips_, hwnd_, Black_ListBox, hint_);
  }
}

void TfrmBlackList::PaintTitle(HDC dc) {
  RECT title = {0, 0, kClientWidth, kTitleHeight};
  FillRect(dc, &title, GetSysColorBrush(COLOR_BTNFACE));
  HGDIOBJ old = SelectObject(dc, boldFont_);
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));
  DrawTextA(dc, "黑名单列表", -1, &title, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
  SelectObject(dc, old);
}

void TfrmBlackList::ShowList() {
  // A find's selection and count named lines that a reload or a sort has
  // moved: both go.
  SendMessageA(Black_ListBox, LB_SETSEL, FALSE, -1);
  SendMessageA(Black_ListBox, LB_SETCOUNT, store_.Lines().size(), 0);
  InvalidateRect(Black_ListBox, nullptr, TRUE);
  SetWindowTextA(BlackList_Label, store_.StatusText().c_str());
}

void TfrmBlackList::BlackList_Title_PanelMouseDown() {
  if (!(GetKeyState(VK_LBUTTON) & 0x8000) && !(GetAsyncKeyState(VK_LBUTTON) & 0x8000)) return;
  ReleaseCapture();
  SendMessageA(hwnd_, WM_SYSCOMMAND, kMoveCommand, 0);
}

void TfrmBlackList::BlackList_Update_BtnClick() {
  if (reload) return reload();
  store_.Get_BlackList();
  ShowList();
}

void TfrmBlackList::SpeedButton2Click() {
  store_.Sort(LessIgnoringCase);
  ShowList();
}

void TfrmBlackList::BlackList_Close_BtnClick() { SendMessageA(hwnd_, WM_CLOSE, 0, 0); }

void TfrmBlackList::Black_ListBoxDrawItem(const DRAWITEMSTRUCT& item) {
  if (item.itemID == static_cast<UINT>(-1)) return;
  const auto& lines = store_.Lines();
  const bool selected = (item.itemState & ODS_SELECTED) != 0;
  COLORREF background = selected ? GetSysColor(COLOR_HIGHLIGHT)
                                 : ToColorref(BlacklistRowColour(static_cast<int>(item.itemID)));
  HBRUSH brush = CreateSolidBrush(background);
  FillRect(item.hDC, &item.rcItem, brush);
  DeleteObject(brush);
  if (item.itemID < lines.size()) {
    const std::string text = MaskedLineText(lines[item.itemID]);
    SetBkMode(item.hDC, TRANSPARENT);
    SetTextColor(item.hDC, selected ? GetSysColor(COLOR_HIGHLIGHTTEXT) : GetSysColor(COLOR_WINDOWTEXT));
    TabbedTextOutA(item.hDC, item.rcItem.left + 2, item.rcItem.top + 2, text.c_str(),
                   static_cast<int>(text.size()), 0, nullptr, item.rcItem.left + 2);
  }
  if (item.itemState & ODS_FOCUS) DrawFocusRect(item.hDC, &item.rcItem);
}

void TfrmBlackList::Black_ListBoxClick() {
  const LRESULT index = SendMessageA(Black_ListBox, LB_GETCARETINDEX, 0, 0);
  const auto& lines = store_.Lines();
  if (index < 0 || static_cast<std::size_t>(index) >= lines.size()) return;
  const LineClick click = ClickLine(lines[static_cast<std::size_t>(index)]);
  SetWindowTextA(BlackList_Edit, click.editText.c_str());
  SetListHint(click.hint.c_str());
}

void TfrmBlackList::SetListHint(const char* text) {
  lstrcpynA(hint_, text, sizeof hint_);
  if (!tips_) return;
  TOOLINFOA info = {};
  info.cbSize = TTTOOLINFOA_V1_SIZE;
  info.hwnd = hwnd_;
  info.uId = reinterpret_cast<UINT_PTR>(Black_ListBox);
  info.lpszText = hint_;
  SendMessageA(tips_, TTM_UPDATETIPTEXTA, 0, reinterpret_cast<LPARAM>(&info));
}

void TfrmBlackList::BlackList_Find_BtnClick() {
  char text[64] = {};
  GetWindowTextA(BlackList_Edit, text, sizeof text);
  const auto found = FindLines(store_.Lines(), text);
  if (!found) return;
  if (!found->selected.empty()) {
    // Deselect everything at once, then select the matches; the list keeps
    // its scroll position.
    SendMessageA(Black_ListBox, WM_SETREDRAW, FALSE, 0);
    SendMessageA(Black_ListBox, LB_SETSEL, FALSE, -1);
    for (std::size_t i = 0; i < found->selected.size(); ++i) {
      if (found->selected[i]) SendMessageA(Black_ListBox, LB_SETSEL, TRUE, static_cast<LPARAM>(i));
    }
    SendMessageA(Black_ListBox, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(Black_ListBox, nullptr, TRUE);
  }
  SetWindowTextA(BlackList_Label, found->status.c_str());
}
