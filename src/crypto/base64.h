// Base64 (RFC 4648 alphabet, "=" padding) as the central service writes it:
// one unbroken line out; in, anything outside the alphabet is ignored, so a
// reply broken over lines or indented decodes the same. Module Base64Unt.
#pragma once
#include <string>
#include <string_view>

class TBase64 {
 public:
  // Bytes -> one line of Base64, the last group padded with "=" or "==".
  std::string Encode(std::string_view bytes) const;
  // Base64 text -> bytes. Characters that are neither in the alphabet nor "="
  // are dropped first. What is left must be groups of four, with "=" only as
  // the fourth, or the third and fourth, character of the last group; any
  // other text decodes to nothing (empty bytes).
  std::string Decode(std::string_view text) const;
};

std::string Base64_Encode(std::string_view bytes);
std::string Base64_Decode(std::string_view text);
