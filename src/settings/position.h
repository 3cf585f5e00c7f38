// Position text: the left and top of a window's outer rectangle in
// virtual-screen pixels, stored as "%d.%d" ("1024.150", "-1280.0").
#pragma once
#include <string>
#include <string_view>

struct ScreenPosition {
  int left = 0;
  int top = 0;
  // A position whose numbers add up to 0 means "none remembered": the window
  // stays where it is. Added in 64 bits: two large 32-bit numbers from a
  // hand-edited value must not overflow into a false "0".
  bool IsSet() const { return static_cast<long long>(left) + top != 0; }
};

// Splits at the first "."; each side a decimal integer, 0 when it is not one.
// A text without "." gives 0, 0.
ScreenPosition ParsePosition(std::string_view text);

std::string FormatPosition(int left, int top);
