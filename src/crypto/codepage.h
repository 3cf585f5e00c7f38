// Conversions between the machine's ANSI code page (GBK on the cashier PCs) and
// UTF-8. Text inside the program stays GBK; UTF-8 appears only where a peer
// wants it: the central-service envelope and URL encoding.
//
// Both read their input only up to its first NUL byte, like the Windows calls
// they rest on. A character the target cannot hold becomes the default
// character ("?"). Input too long for the platform call (2 GiB and more) gives
// the empty text.
#pragma once
#include <string>
#include <string_view>

// ANSI (GBK) bytes -> UTF-8 bytes.
std::string Ansi_ToUtf8(std::string_view text);

// UTF-8 bytes -> ANSI (GBK) bytes.
std::string Utf8_ToAnsi(std::string_view utf8);
