#include "create.h"

#include <cstring>

#include "classes.h"

namespace {

constexpr int kTopX = 100, kTopY = 100, kTopW = 400, kTopH = 300;
constexpr int kChildX = 10, kChildY = 10, kChildW = 200, kChildStep = 30;

std::string LastError(const char* call) { return std::string(call) + " failed: " + std::to_string(GetLastError()); }

// A dialog made from a template has a dialog procedure, and only then does
// WM_CLOSE end it: a "#32770" window created with CreateWindowEx ignores it.
INT_PTR CALLBACK DialogProc(HWND hwnd, UINT msg, WPARAM, LPARAM) {
  switch (msg) {
    case WM_INITDIALOG: return TRUE;
    case WM_CLOSE: DestroyWindow(hwnd); return TRUE;
  }
  return FALSE;
}

// In-memory dialog template without controls: the header, no menu, the
// standard dialog class, the caption in UTF-16. Size is set in pixels later.
std::vector<WORD> DialogTemplate(const std::string& caption) {
  DLGTEMPLATE header{};
  header.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
  static_assert(sizeof(header) % sizeof(WORD) == 0, "the header is a whole number of WORDs");
  std::vector<WORD> words(sizeof(header) / sizeof(WORD));
  std::memcpy(words.data(), &header, sizeof(header));
  words.push_back(0);  // menu
  words.push_back(0);  // class
  int n = MultiByteToWideChar(CP_ACP, 0, caption.c_str(), -1, nullptr, 0);
  std::wstring wide(static_cast<size_t>(n > 0 ? n : 1), L'\0');
  if (n > 0) MultiByteToWideChar(CP_ACP, 0, caption.c_str(), -1, wide.data(), n);
  for (wchar_t c : wide) words.push_back(static_cast<WORD>(c));  // ends with the terminator
  return words;
}

int CountChildren(HWND parent) {
  int n = 0;
  for (HWND c = GetWindow(parent, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) ++n;
  return n;
}

// Watched before it is shown, so that showing it is recorded like any later show.
HWND Finish(HWND hwnd, const CreateOptions& options) {
  Watch(hwnd, options.watch);
  if (!options.hidden) ShowWindow(hwnd, SW_SHOW);
  return hwnd;
}

}  // namespace

HWND CreateSimDialog(const std::string& caption, const CreateOptions& options, std::string& reason) {
  std::vector<WORD> tmpl = DialogTemplate(caption);
  HWND hwnd = CreateDialogIndirectParamA(GetModuleHandleA(nullptr), reinterpret_cast<LPCDLGTEMPLATEA>(tmpl.data()),
                                         nullptr, DialogProc, 0);
  if (!hwnd) {
    reason = LastError("CreateDialogIndirectParam");
    return nullptr;
  }
  SetWindowPos(hwnd, nullptr, options.x.value_or(kTopX), options.y.value_or(kTopY), options.w.value_or(kTopW),
               options.h.value_or(kTopH), SWP_NOZORDER | SWP_NOACTIVATE);
  return Finish(hwnd, options);
}

HWND CreateSimWindow(const std::string& className, const std::string& caption, const CreateOptions& options,
                     std::string& reason) {
  if (className == "#32770") return CreateSimDialog(caption, options, reason);
  ClassChoice choice;
  if (!ChooseClass(className, choice, reason)) return nullptr;
  HWND hwnd = CreateWindowExA(0, className.c_str(), caption.c_str(), WS_OVERLAPPEDWINDOW | choice.style,
                              options.x.value_or(kTopX), options.y.value_or(kTopY), options.w.value_or(kTopW),
                              options.h.value_or(kTopH), nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
  if (!hwnd) {
    reason = LastError("CreateWindowEx");
    return nullptr;
  }
  return Finish(hwnd, options);
}

HWND CreateSimChild(HWND parent, const std::string& className, const std::string& caption,
                    const CreateOptions& options, std::string& reason) {
  if (className == "#32770") {
    reason = "a dialog is top-level here; use dialog";
    return nullptr;
  }
  ClassChoice choice;
  if (!ChooseClass(className, choice, reason)) return nullptr;
  const bool isList = choice.kind == Control::ComboBox || choice.kind == Control::ListBox;
  if (!options.items.empty() && !isList) {
    reason = "items need a combo or list box";
    return nullptr;
  }
  // Control ids from 1001 keep clear of IDOK and IDCANCEL, which the dialog
  // manager would treat as "end the dialog".
  static int nextId = 1001;
  HWND hwnd = CreateWindowExA(0, className.c_str(), caption.c_str(), WS_CHILD | WS_CLIPSIBLINGS | choice.style,
                              options.x.value_or(kChildX),
                              options.y.value_or(kChildY + kChildStep * CountChildren(parent)),
                              options.w.value_or(kChildW), options.h.value_or(choice.defaultHeight), parent,
                              reinterpret_cast<HMENU>(static_cast<INT_PTR>(nextId++)), GetModuleHandleA(nullptr),
                              nullptr);
  if (!hwnd) {
    reason = LastError("CreateWindowEx");
    return nullptr;
  }
  SendMessageA(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), FALSE);
  const UINT add = choice.kind == Control::ComboBox ? CB_ADDSTRING : LB_ADDSTRING;
  for (const std::string& item : options.items)
    SendMessageA(hwnd, add, 0, reinterpret_cast<LPARAM>(item.c_str()));
  return Finish(hwnd, options);
}
