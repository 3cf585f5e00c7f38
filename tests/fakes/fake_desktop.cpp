#include "fakes/fake_desktop.h"

Hwnd FakeDesktop::Add(const std::string& className, const std::string& caption, Hwnd parent) {
  Hwnd handle = next_++;
  windows_[handle] = Window{className, caption, parent};
  return handle;
}

void FakeDesktop::Remove(Hwnd handle) {
  std::vector<Hwnd> children;
  for (const auto& [child, w] : windows_) {
    if (w.parent == handle) children.push_back(child);
  }
  for (Hwnd child : children) Remove(child);
  windows_.erase(handle);
}

Hwnd FakeDesktop::Find(Hwnd parent, const char* className, const char* caption) const {
  for (const auto& [handle, w] : windows_) {
    if (w.parent != parent) continue;
    if (className && w.className != className) continue;
    if (caption && w.caption != caption) continue;
    return handle;
  }
  return 0;
}

void FakeDesktop::Record(const std::string& what, Hwnd window, const std::string& detail) {
  std::string line = what + " " + std::to_string(window);
  if (!detail.empty()) line += " " + detail;
  actions.push_back(line);
}

Hwnd FakeDesktop::FindTopWindow(const char* className, const char* caption) {
  ++topLevelSearches;
  return Find(0, className, caption);
}

Hwnd FakeDesktop::FindChild(Hwnd parent, const char* className, const char* caption) {
  return parent == 0 ? 0 : Find(parent, className, caption);
}

std::string FakeDesktop::GetWindowTextOf(Hwnd window) {
  return Exists(window) ? windows_[window].caption.substr(0, 1023) : std::string();
}

void FakeDesktop::SetWindowTextOf(Hwnd window, const std::string& text) {
  Record("settext", window, text);
  if (Exists(window)) windows_[window].caption = text;
}

bool FakeDesktop::IsVisible(Hwnd window) { return Exists(window) && windows_[window].visible; }
bool FakeDesktop::IsEnabled(Hwnd window) { return Exists(window) && windows_[window].enabled; }

std::intptr_t FakeDesktop::ClickButton(Hwnd button) {
  Record("click", button);
  return 0;
}

void FakeDesktop::SendClose(Hwnd window) {
  Record("close", window);
  if (Exists(window) && windows_[window].closesOnClose) Remove(window);
}

void FakeDesktop::PostClose(Hwnd window) {
  Record("postclose", window);
  if (Exists(window) && windows_[window].closesOnClose) Remove(window);
}

void FakeDesktop::SelectComboItem(Hwnd comboBox, int index) {
  Record("select", comboBox, std::to_string(index));
}

bool FakeDesktop::SetForeground(Hwnd window) {
  Record("foreground", window);
  return Exists(window);
}

void FakeDesktop::PressKey(int virtualKey) { Record("key", virtualKey); }

bool FakeDesktop::SetWindowPosition(Hwnd window, std::intptr_t insertAfter, int x, int y, int width,
                                    int height, unsigned flags) {
  Record("setpos", window,
         std::to_string(insertAfter) + " " + std::to_string(x) + "," + std::to_string(y) + " " +
             std::to_string(width) + "x" + std::to_string(height) + " " + std::to_string(flags));
  if (!Exists(window) || refuseMoves || windows_[window].refusesMove) return false;
  Window& w = windows_[window];
  w.clientLeft = x;
  w.clientTop = y;
  w.left = x;
  w.top = y;
  return true;
}

std::int32_t FakeDesktop::WindowStyle(Hwnd window) { return Exists(window) ? windows_[window].style : 0; }

bool FakeDesktop::ClientToScreenPoint(Hwnd window, int& x, int& y) {
  if (!Exists(window)) return false;
  x += windows_[window].clientLeft;
  y += windows_[window].clientTop;
  return true;
}

bool FakeDesktop::SetCursorPosition(int x, int y) {
  actions.push_back("cursor " + std::to_string(x) + "," + std::to_string(y));
  return true;
}

void FakeDesktop::MouseButton(unsigned event) { actions.push_back("mouse " + std::to_string(event)); }

void FakeDesktop::DrawAlertFrame(Hwnd window) { Record("frame", window); }
bool FakeDesktop::SetWindowTextWithin(Hwnd window, const std::string& text, int) {
  SetWindowTextOf(window, text);
  return Exists(window);
}

std::intptr_t FakeDesktop::ClickButtonWithin(Hwnd button, int) {
  Record("click", button);
  return Exists(button) ? clickAnswer : 0;
}

void FakeDesktop::Beep(int frequencyHz, int milliseconds) {
  actions.push_back("beep " + std::to_string(frequencyHz) + " " + std::to_string(milliseconds));
}


bool FakeDesktop::WindowOrigin(Hwnd window, int& left, int& top) {
  if (!Exists(window) || windows_[window].rectUnreadable) return false;
  left = windows_[window].left;
  top = windows_[window].top;
  return true;
}
