#include "util/literals.h"

std::string DecipherLiteral(std::string_view text, int row) {
  // Trim characters at or below the space, as the validity test demands.
  while (!text.empty() && static_cast<unsigned char>(text.front()) <= ' ') text.remove_prefix(1);
  while (!text.empty() && static_cast<unsigned char>(text.back()) <= ' ') text.remove_suffix(1);
  for (char c : text) {
    if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'))) return {};
  }
  if (row < 1 || row > 4) return {};
  const std::uint8_t* key = literals::kKeyTable.data() + (row - 1) * 8;
  std::string out;
  out.reserve(text.size() / 2);
  for (std::size_t i = 0; i < text.size() / 2; ++i) {
    int b = hex::DigitValue(text[2 * i]) * 16 + hex::DigitValue(text[2 * i + 1]);
    out.push_back(static_cast<char>(b ^ key[i % 8]));
  }
  return out;
}
