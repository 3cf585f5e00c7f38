// Window handles travel as decimal numbers on the control channel.
#pragma once

#include <windows.h>

#include <string>

std::string HandleText(HWND hwnd);
bool ParseHandle(const std::string& text, HWND& hwnd);
