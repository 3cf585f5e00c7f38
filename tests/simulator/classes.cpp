#include "classes.h"

#include <algorithm>
#include <cctype>

namespace {

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

bool Contains(const std::string& text, const char* part) { return text.find(part) != std::string::npos; }

bool EndsWith(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// Which system control a class behaves as, judged by the name the way other
// frameworks name their wrappers (TButton, TGroupButton, TEdit, TComboBox).
Control KindOf(const std::string& lowerName, bool isSystemClass) {
  if (Contains(lowerName, "button") || EndsWith(lowerName, "btn") || Contains(lowerName, "checkbox"))
    return Control::Button;
  if (lowerName == "edit" || EndsWith(lowerName, "edit")) return Control::Edit;
  if (Contains(lowerName, "combobox")) return Control::ComboBox;
  if (Contains(lowerName, "listbox")) return Control::ListBox;
  if (lowerName == "static") return Control::Static;
  return isSystemClass ? Control::Other : Control::Container;
}

const char* SystemClassOf(Control kind) {
  switch (kind) {
    case Control::Button: return "Button";
    case Control::Edit: return "Edit";
    case Control::ComboBox: return "ComboBox";
    case Control::ListBox: return "ListBox";
    case Control::Static: return "Static";
    default: return nullptr;
  }
}

void StyleFor(Control kind, const std::string& lowerName, ClassChoice& choice) {
  choice.kind = kind;
  switch (kind) {
    case Control::Button:
      // Delphi's TGroupButton is the radio button inside a TRadioGroup.
      if (Contains(lowerName, "groupbutton") || Contains(lowerName, "radio"))
        choice.style = BS_AUTORADIOBUTTON;
      else if (Contains(lowerName, "checkbox"))
        choice.style = BS_AUTOCHECKBOX;
      else
        choice.style = BS_PUSHBUTTON;
      choice.style |= WS_TABSTOP;
      break;
    case Control::Edit: choice.style = ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP; break;
    case Control::ComboBox:
      // The height of a combo box is that of its open list.
      choice.style = CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP;
      choice.defaultHeight = 200;
      break;
    case Control::ListBox:
      choice.style = LBS_NOTIFY | WS_VSCROLL | WS_BORDER;
      choice.defaultHeight = 120;
      break;
    default: break;
  }
}

bool Register(const std::string& name, Control kind, std::string& reason) {
  HINSTANCE instance = GetModuleHandleA(nullptr);
  WNDCLASSEXA wc{};
  wc.cbSize = sizeof(wc);
  if (const char* base = SystemClassOf(kind)) {
    // Superclass: the system control's own procedure and extra bytes under
    // our name, so BM_CLICK and friends work exactly as on the real control.
    if (!GetClassInfoExA(nullptr, base, &wc)) {
      reason = std::string("no system class ") + base;
      return false;
    }
    wc.style &= ~CS_GLOBALCLASS;
  } else {
    wc.lpfnWndProc = DefWindowProcA;  // closes on WM_CLOSE, holds children
    wc.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  }
  wc.hInstance = instance;
  wc.lpszClassName = name.c_str();
  if (!RegisterClassExA(&wc)) {
    reason = "RegisterClassEx failed: " + std::to_string(GetLastError());
    return false;
  }
  return true;
}

}  // namespace

bool ChooseClass(const std::string& name, ClassChoice& choice, std::string& reason) {
  if (name.empty()) {
    reason = "empty class name";
    return false;
  }
  WNDCLASSEXA wc{};
  wc.cbSize = sizeof(wc);
  const bool isSystemClass = GetClassInfoExA(nullptr, name.c_str(), &wc) != 0;
  const std::string lowerName = Lower(name);
  const Control kind = KindOf(lowerName, isSystemClass);
  choice = ClassChoice{};
  StyleFor(kind, lowerName, choice);
  if (isSystemClass || GetClassInfoExA(GetModuleHandleA(nullptr), name.c_str(), &wc)) return true;
  return Register(name, kind, reason);
}
