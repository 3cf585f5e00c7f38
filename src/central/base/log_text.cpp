#include "central/base/log_text.h"

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

std::string MaskIdNumbers(const std::string& utf8) {
  std::string out;
  for (std::size_t i = 0; i < utf8.size();) {
    if (!IsDigit(utf8[i])) {
      out += utf8[i++];
      continue;
    }
    std::size_t end = i;
    while (end < utf8.size() && IsDigit(utf8[end])) ++end;
    if (end < utf8.size() && (utf8[end] == 'X' || utf8[end] == 'x')) ++end;
    const std::size_t length = end - i;
    if (length >= 6) {
      out += utf8.substr(i, 3) + std::string(length - 5, '*') + utf8.substr(end - 2, 2);
    } else {
      out += utf8.substr(i, length);
    }
    i = end;
  }
  return out;
}

std::string CutUtf8(const std::string& utf8, std::size_t maxBytes) {
  if (utf8.size() <= maxBytes) return utf8;
  std::size_t cut = maxBytes;
  // Back off the continuation bytes (10xxxxxx) of a character cut in two.
  while (cut > 0 && (static_cast<unsigned char>(utf8[cut]) & 0xC0) == 0x80) --cut;
  return utf8.substr(0, cut);
}
