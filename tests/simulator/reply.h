// Replies of the control channel: "ok" plus TAB-separated fields, each escaped
// so that no field can break the line.
#pragma once

#include <windows.h>

#include <initializer_list>
#include <string>

std::string Ok(std::initializer_list<std::string> fields = {});
std::string Err(const std::string& reason);
inline std::string Bit(bool value) { return value ? "1" : "0"; }

// Window messages from commands go through SendMessageTimeout, so that a hung
// program (the assistant paused in a debugger, say) fails the command instead
// of freezing the simulator. Fails the command on time-out.
LRESULT SendOrFail(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
std::string ReadWindowText(HWND hwnd);  // WM_GETTEXT, GBK
