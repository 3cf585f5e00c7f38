// The control channel: one TCP client at a time on 127.0.0.1, one line per
// command, one reply per command. Socket events arrive as window messages
// (WSAAsyncSelect), so every command runs on the UI thread that owns the
// simulator's windows.
#pragma once

#include <winsock2.h>  // before windows.h, which would pull in the old winsock.h

#include <string>

// Takes one command line (no line end); returns the reply, whose lines are
// separated by '\n', without the final line end.
using LineHandler = std::string (*)(const std::string& line);

bool OpenChannel(HWND notifyWindow, UINT notifyMessage, unsigned short port, LineHandler handler,
                 std::string& reason);
// Feed every notifyMessage of notifyWindow here.
void OnChannelEvent(WPARAM wParam, LPARAM lParam);
void CloseChannel();
