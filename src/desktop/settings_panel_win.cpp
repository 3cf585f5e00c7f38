#include "desktop/settings_panel_win.h"

#include <commctrl.h>
#include <shlobj.h>

#include <vector>

namespace {

constexpr const char* kGroupClass = "TGroupBox";
// Control ids: the table index above this base. Far from the menu's
// command ids, which arrive on the same window.
constexpr int kFirstControlId = 2000;
constexpr COLORREF kClBlack = RGB(0, 0, 0);
constexpr COLORREF kClGray = RGB(128, 128, 128);
// A closed drop-down list is as tall as its font makes it; the height
// passed at creation is that of the opened list.
constexpr int kDropDownHeight = 320;

// Balances CoInitialize on every way out: the folder browser is a shell
// object.
class ComScope {
 public:
  ComScope() : started_(SUCCEEDED(CoInitialize(nullptr))) {}
  ~ComScope() {
    if (started_) CoUninitialize();
  }
  ComScope(const ComScope&) = delete;
  ComScope& operator=(const ComScope&) = delete;

 private:
  bool started_;
};

bool IsFolder(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Opens the browser at the folder the box names, so a cashier who changes
// one picture folder starts where it was, and shows the selected folder's
// full path above the tree, which shows names only.
int CALLBACK BrowseCallback(HWND browser, UINT msg, LPARAM param, LPARAM data) {
  if (msg == BFFM_INITIALIZED && data) {
    SendMessageA(browser, BFFM_SETSELECTIONA, TRUE, data);
  }
  if (msg == BFFM_SELCHANGED) {
    char path[MAX_PATH] = {};
    if (!SHGetPathFromIDListA(reinterpret_cast<PCIDLIST_ABSOLUTE>(param), path)) path[0] = '\0';
    SendMessageA(browser, BFFM_SETSTATUSTEXTA, 0, reinterpret_cast<LPARAM>(path));
  }
  return 0;
}

void RegisterGroupClass(WNDPROC proc) {
  WNDCLASSA wc = {};
  if (GetClassInfoA(GetModuleHandleA(nullptr), kGroupClass, &wc)) return;
  wc.style = CS_DBLCLKS | CS_HREDRAW | CS_VREDRAW;
  wc.lpfnWndProc = proc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = kGroupClass;
  RegisterClassA(&wc);
}

}  // namespace

TSettingsPanelForm::~TSettingsPanelForm() {
  if (tooltip_) DestroyWindow(tooltip_);
  if (font_) DeleteObject(font_);
}

bool TSettingsPanelForm::Create(HWND form, SettingsPanel* handler) {
  form_ = form;
  handler_ = handler;

  // The client area is fixed; the frame around it is whatever the system's
  // caption and border take.
  RECT frame = {0, 0, kPanelClientWidth, kPanelClientHeight};
  AdjustWindowRectEx(&frame, kSettingsWindowStyle, FALSE, 0);
  const int width = frame.right - frame.left;
  const int height = frame.bottom - frame.top;
  SetWindowPos(form, nullptr, (GetSystemMetrics(SM_CXSCREEN) - width) / 2,
               (GetSystemMetrics(SM_CYSCREEN) - height) / 2, width, height,
               SWP_NOZORDER | SWP_NOACTIVATE);

  font_ = CreateFontA(kPanelFontHeight, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                      OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE,
                      kPanelFontName);
  SendMessageA(form, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);

  INITCOMMONCONTROLSEX common = {sizeof common, ICC_WIN95_CLASSES};
  InitCommonControlsEx(&common);
  tooltip_ = CreateWindowExA(WS_EX_TOPMOST, TOOLTIPS_CLASSA, nullptr, WS_POPUP | TTS_ALWAYSTIP, CW_USEDEFAULT,
                             CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, form, nullptr,
                             GetModuleHandleA(nullptr), nullptr);

  RegisterGroupClass(GroupProc);
  for (const ControlLayout& layout : PanelControls()) {
    HWND control = CreateControl(layout);
    if (!control) return false;
    controls_[static_cast<int>(layout.id)] = control;
    groupActive_[static_cast<int>(layout.id)] = true;
    if (layout.hint) AddHint(control, layout.hint);
  }
  return true;
}

HWND TSettingsPanelForm::CreateControl(const ControlLayout& layout) {
  const char* className = "Button";
  DWORD style = WS_CHILD | WS_CLIPSIBLINGS;
  DWORD exStyle = 0;
  int height = layout.height;
  switch (layout.kind) {
    case ControlKind::CheckBox: style |= BS_AUTOCHECKBOX | WS_TABSTOP; break;
    case ControlKind::Button: style |= BS_PUSHBUTTON | WS_TABSTOP; break;
    case ControlKind::GroupBox:
      className = kGroupClass;
      style |= WS_CLIPCHILDREN;
      exStyle = WS_EX_CONTROLPARENT;
      break;
    case ControlKind::Label: className = "Static"; style |= SS_LEFT; break;
    case ControlKind::Edit:
      className = "Edit";
      style |= ES_AUTOHSCROLL | WS_TABSTOP;
      exStyle = WS_EX_CLIENTEDGE;
      break;
    case ControlKind::DropDownList:
      className = "ComboBox";
      style |= CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP;
      height = kDropDownHeight;
      break;
  }
  if (layout.visible) style |= WS_VISIBLE;
  if (!layout.enabled) style |= WS_DISABLED;
  HWND parent = layout.parent == PanelControl::None ? form_ : Control(layout.parent);
  HWND control = CreateWindowExA(exStyle, className, layout.caption, style, layout.left, layout.top, layout.width,
                                 height, parent,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(kFirstControlId + static_cast<int>(layout.id))),
                                 GetModuleHandleA(nullptr), nullptr);
  if (!control) return nullptr;
  SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
  if (layout.kind == ControlKind::GroupBox) {
    SetWindowLongPtrA(control, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  }
  if (layout.kind == ControlKind::Edit) {
    // A folder read from the registry is shown whole, however long: the
    // save writes back what the box holds.
    SendMessageA(control, EM_SETLIMITTEXT, 0, 0);
  }
  for (const std::string& item : ComboItems(layout.id)) {
    SendMessageA(control, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item.c_str()));
  }
  if (layout.id == PanelControl::cbb_topPos) SendMessageA(control, CB_SETCURSEL, 1, 0);  // 居中
  if (layout.id == PanelControl::cbb_style) SendMessageA(control, CB_SETCURSEL, 0, 0);   // 填充
  return control;
}

void TSettingsPanelForm::AddHint(HWND control, const char* hint) {
  if (!tooltip_) return;
  TTTOOLINFOA tool = {};
  // The first version's size: comctl32 without a manifest refuses larger ones.
  tool.cbSize = TTTOOLINFOA_V1_SIZE;
  tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  tool.hwnd = GetParent(control);
  tool.uId = reinterpret_cast<UINT_PTR>(control);
  tool.lpszText = const_cast<char*>(hint);
  SendMessageA(tooltip_, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&tool));
}

int TSettingsPanelForm::DefaultButtonId() const {
  return kFirstControlId + static_cast<int>(PanelControl::btn_SaveConfig);
}

bool TSettingsPanelForm::OnCommand(WPARAM wParam, LPARAM lParam) {
  const int index = static_cast<int>(LOWORD(wParam)) - kFirstControlId;
  if (index < 0 || index >= kControlCount || reinterpret_cast<HWND>(lParam) != controls_[index]) {
    return false;
  }
  if (HIWORD(wParam) == BN_CLICKED && handler_) handler_->OnClick(static_cast<PanelControl>(index));
  return true;
}

LRESULT CALLBACK TSettingsPanelForm::GroupProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  auto* self = reinterpret_cast<TSettingsPanelForm*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
  return self ? self->OnGroupMessage(hwnd, msg, wParam, lParam) : DefWindowProcA(hwnd, msg, wParam, lParam);
}

LRESULT TSettingsPanelForm::OnGroupMessage(HWND group, UINT msg, WPARAM wParam, LPARAM lParam) {
  const int index = GetDlgCtrlID(group) - kFirstControlId;
  const bool active = index >= 0 && index < kControlCount ? groupActive_[index] : true;
  switch (msg) {
    case WM_PAINT: {
      // An etched frame whose top runs through the middle of the check box
      // that sits on it.
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(group, &paint);
      RECT rect;
      GetClientRect(group, &rect);
      rect.top += (-kPanelFontHeight) / 2;
      DrawEdge(dc, &rect, EDGE_ETCHED, BF_RECT);
      EndPaint(group, &paint);
      return 0;
    }
    case WM_COMMAND:
      // The controls inside report to their group; the window handles them.
      return SendMessageA(form_, WM_COMMAND, wParam, lParam);
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN: {
      HDC dc = reinterpret_cast<HDC>(wParam);
      SetTextColor(dc, active ? kClBlack : kClGray);
      SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
      return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
    }
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX: {
      HDC dc = reinterpret_cast<HDC>(wParam);
      SetTextColor(dc, active ? kClBlack : kClGray);
      SetBkColor(dc, GetSysColor(COLOR_WINDOW));
      return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_WINDOW));
    }
    case WM_LBUTTONDBLCLK:
      if (handler_ && index == static_cast<int>(PanelControl::grp_ExpConfig)) {
        // The click's own key state, or the keyboard's at this moment.
        handler_->grp_ExpConfigDblClick((wParam & MK_SHIFT) != 0 || GetKeyState(VK_SHIFT) < 0);
      }
      return 0;
  }
  return DefWindowProcA(group, msg, wParam, lParam);
}

bool TSettingsPanelForm::Checked(PanelControl control) {
  return SendMessageA(Control(control), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void TSettingsPanelForm::SetChecked(PanelControl control, bool checked) {
  SendMessageA(Control(control), BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

std::string TSettingsPanelForm::Text(PanelControl control) {
  HWND window = Control(control);
  const int length = GetWindowTextLengthA(window);
  if (length <= 0) return {};
  std::vector<char> buffer(static_cast<std::size_t>(length) + 1, '\0');
  const int got = GetWindowTextA(window, buffer.data(), length + 1);
  return std::string(buffer.data(), got > 0 ? static_cast<std::size_t>(got) : 0);
}

void TSettingsPanelForm::SetText(PanelControl control, const std::string& text) {
  SetWindowTextA(Control(control), text.c_str());
}

int TSettingsPanelForm::Selection(PanelControl control) {
  return static_cast<int>(SendMessageA(Control(control), CB_GETCURSEL, 0, 0));
}

void TSettingsPanelForm::Select(PanelControl control, int index) {
  SendMessageA(Control(control), CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

void TSettingsPanelForm::SetEnabled(PanelControl control, bool enabled) {
  EnableWindow(Control(control), enabled ? TRUE : FALSE);
}

void TSettingsPanelForm::SetVisible(PanelControl control, bool visible) {
  ShowWindow(Control(control), visible ? SW_SHOW : SW_HIDE);
}

void TSettingsPanelForm::SetGroupActive(PanelControl group, bool active) {
  groupActive_[static_cast<int>(group)] = active;
  HWND window = Control(group);
  EnableWindow(window, active ? TRUE : FALSE);
  RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

std::optional<std::string> TSettingsPanelForm::BrowseForFolder(const std::string& title,
                                                               const std::string& startFolder) {
  ComScope com;
  // The shell selects "D:\pics" but not always "D:\pics\"; a root keeps its "\".
  std::string start = startFolder;
  if (start.size() > 3 && start.back() == '\\') start.pop_back();
  if (!IsFolder(start)) start.clear();

  char displayName[MAX_PATH] = {};
  BROWSEINFOA info = {};
  info.hwndOwner = form_;
  info.pszDisplayName = displayName;
  info.lpszTitle = title.c_str();
  info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_STATUSTEXT;
  info.lpfn = BrowseCallback;
  info.lParam = start.empty() ? 0 : reinterpret_cast<LPARAM>(start.c_str());
  PIDLIST_ABSOLUTE chosen = SHBrowseForFolderA(&info);
  if (!chosen) return std::nullopt;
  char path[MAX_PATH] = {};
  const bool named = SHGetPathFromIDListA(chosen, path) != FALSE;
  CoTaskMemFree(chosen);
  // A folder without a file-system path cannot hold pictures: as a cancel.
  if (!named || !path[0]) return std::nullopt;
  return std::string(path);
}
