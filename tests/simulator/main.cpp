// tollsim: the companion simulator of the end-to-end tests. It stands in for
// the billing console and the audit client: on command it opens windows with
// the classes, captions and children the assistant looks for, records every
// message and input they receive, and reports it over a TCP line protocol.
//
//   tollsim.exe PORT      listens on 127.0.0.1:PORT (exit code 2: bad
//                         arguments, 3: cannot listen)
#include <winsock2.h>
#include <windows.h>

#include <cstdlib>
#include <string>

#include "channel.h"
#include "commands.h"
#include "text.h"

namespace {

constexpr UINT kSocketMessage = WM_APP + 100;

LRESULT CALLBACK ControlProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == kSocketMessage) {
    OnChannelEvent(wParam, lParam);
    return 0;
  }
  return DefWindowProcA(hwnd, msg, wParam, lParam);
}

// A message-only window: it receives the socket events but is no top-level
// window, so no FindWindow of the assistant (or of a test) can see it.
HWND CreateControlWindow(HINSTANCE instance) {
  WNDCLASSEXA wc{};
  wc.cbSize = sizeof(wc);
  wc.lpfnWndProc = ControlProc;
  wc.hInstance = instance;
  wc.lpszClassName = "TollsimControl";
  if (!RegisterClassExA(&wc)) return nullptr;
  return CreateWindowExA(0, wc.lpszClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, instance, nullptr);
}

bool ParsePort(int argc, char** argv, unsigned short& port) {
  long long value = 0;
  if (argc != 2 || !ParseInt(argv[1], value) || value < 1 || value > 65535) return false;
  port = static_cast<unsigned short>(value);
  return true;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  unsigned short port = 0;
  if (!ParsePort(__argc, __argv, port)) return 2;
  WSADATA wsa;
  if (WSAStartup(MAKEWORD(2, 2), &wsa) != 0) return 3;
  HWND control = CreateControlWindow(instance);
  std::string reason;
  if (!control || !OpenChannel(control, kSocketMessage, port, RunCommand, reason)) {
    OutputDebugStringA(reason.c_str());
    WSACleanup();
    return 3;
  }
  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  CloseChannel();
  WSACleanup();
  return 0;
}
