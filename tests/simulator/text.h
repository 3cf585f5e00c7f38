// Text of the simulator's control channel: UTF-8 lines of TAB-separated fields
// on the wire, GBK (the ANSI code page) inside the windows.
#pragma once

#include <string>
#include <vector>

// UTF-8 -> ANSI code page. False when the input is not valid UTF-8 or holds a
// character the code page cannot represent (a test asking for text the real
// programs could never show is a mistake worth reporting).
bool Utf8ToAnsi(const std::string& utf8, std::string& ansi);
std::string AnsiToUtf8(const std::string& ansi);

// A field may carry TAB, CR, LF or backslash only as \t, \r, \n and \\.
std::string EscapeField(const std::string& text);
std::vector<std::string> SplitLine(const std::string& line);  // splits on TAB, unescapes

// Strict decimal numbers: optional '-', digits only, no overflow.
bool ParseInt(const std::string& text, long long& value);
bool ParseUnsigned(const std::string& text, unsigned long long& value);
