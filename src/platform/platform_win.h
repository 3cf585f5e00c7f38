// The Win32 implementations of the core's platform interfaces. This header
// stays free of <windows.h>; the implementations live in the *_win.cpp files.
#pragma once
#include "platform/clock.h"
#include "platform/desktop.h"
#include "platform/files.h"
#include "platform/sound.h"

class Win32Desktop : public Desktop {
 public:
  Hwnd FindTopWindow(const char* className, const char* caption) override;
  Hwnd FindChild(Hwnd parent, const char* className, const char* caption) override;
  std::string GetWindowTextOf(Hwnd window) override;
  void SetWindowTextOf(Hwnd window, const std::string& text) override;
  bool IsVisible(Hwnd window) override;
  bool IsEnabled(Hwnd window) override;
  std::intptr_t ClickButton(Hwnd button) override;
  void SendClose(Hwnd window) override;
  void PostClose(Hwnd window) override;
  void SelectComboItem(Hwnd comboBox, int index) override;
  bool SetForeground(Hwnd window) override;
  void PressKey(int virtualKey) override;
  // Extended-screen placement and the face-verification press.
  bool SetWindowPosition(Hwnd window, std::intptr_t insertAfter, int x, int y, int width, int height,
                         unsigned flags) override;
  ScreenSize PrimaryScreenSize() override;
  std::int32_t WindowStyle(Hwnd window) override;
  bool ClientToScreenPoint(Hwnd window, int& x, int& y) override;
  bool SetCursorPosition(int x, int y) override;
  void MouseButton(unsigned event) override;
  void DrawAlertFrame(Hwnd window) override;
  // CTID QR window.
  bool SetWindowTextWithin(Hwnd window, const std::string& text, int timeoutMs) override;
  std::intptr_t ClickButtonWithin(Hwnd button, int timeoutMs) override;
  ScreenSize WorkAreaSize() override;
  void Beep(int frequencyHz, int milliseconds) override;
  // Settings window.
  bool WindowOrigin(Hwnd window, int& left, int& top) override;
  int MonitorCount() override;
};

class Win32Clock : public Clock {
 public:
  LocalTime Now() override;
  void DelayWithMessages(int milliseconds) override;
};

class Win32Sound : public Sound {
 public:
  bool PlayResource(const std::string& type, const std::string& name) override;
  bool PlayFile(const std::string& path) override;
};

class Win32Files : public Files {
 public:
  bool Exists(const std::string& path) override;
  bool Delete(const std::string& path) override;
  FileResult Append(const std::string& path, const std::string& bytes) override;
  FileResult ReadPieces(const std::string& path,
                        const std::function<void(std::string_view piece)>& sink) override;
};

// The operating system's text for an error code, in the ANSI code page.
std::string SystemErrorText(unsigned long code);
