#include "crypto/base64.h"

#include <array>
#include <cstdint>
#include <vector>

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

constexpr int kPad = -2;       // "="
constexpr int kIgnored = -1;   // anything else outside the alphabet

constexpr std::array<std::int8_t, 256> MakeValues() {
  std::array<std::int8_t, 256> values{};
  values.fill(kIgnored);
  for (int i = 0; i < 64; ++i) values[static_cast<std::uint8_t>(kAlphabet[i])] = static_cast<std::int8_t>(i);
  values[static_cast<std::uint8_t>('=')] = kPad;
  return values;
}

constexpr std::array<std::int8_t, 256> kValues = MakeValues();

}  // namespace

std::string TBase64::Encode(std::string_view bytes) const {
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  std::size_t i = 0;
  for (; i + 3 <= bytes.size(); i += 3) {
    std::uint32_t v = static_cast<std::uint8_t>(bytes[i]) << 16 |
                      static_cast<std::uint8_t>(bytes[i + 1]) << 8 | static_cast<std::uint8_t>(bytes[i + 2]);
    out += kAlphabet[v >> 18];
    out += kAlphabet[(v >> 12) & 63];
    out += kAlphabet[(v >> 6) & 63];
    out += kAlphabet[v & 63];
  }
  std::size_t rest = bytes.size() - i;
  if (rest > 0) {
    std::uint32_t v = static_cast<std::uint8_t>(bytes[i]) << 16;
    if (rest == 2) v |= static_cast<std::uint8_t>(bytes[i + 1]) << 8;
    out += kAlphabet[v >> 18];
    out += kAlphabet[(v >> 12) & 63];
    out += rest == 2 ? kAlphabet[(v >> 6) & 63] : '=';
    out += '=';
  }
  return out;
}

std::string TBase64::Decode(std::string_view text) const {
  std::vector<std::int8_t> digits;  // the text without ignored characters, as values
  digits.reserve(text.size());
  for (char c : text) {
    int v = kValues[static_cast<std::uint8_t>(c)];
    if (v != kIgnored) digits.push_back(static_cast<std::int8_t>(v));
  }
  if (digits.size() % 4 != 0) return {};

  std::string out;
  out.reserve(digits.size() / 4 * 3);
  for (std::size_t i = 0; i < digits.size(); i += 4) {
    const int a = digits[i], b = digits[i + 1], c = digits[i + 2], d = digits[i + 3];
    const bool last = i + 4 == digits.size();
    // "=" may close the last group only: "xxx=" or "xx==".
    const int pads = d != kPad ? 0 : c != kPad ? 1 : 2;
    if (a == kPad || b == kPad || (c == kPad && d != kPad) || (pads > 0 && !last)) return {};
    std::uint32_t v = std::uint32_t(a) << 18 | std::uint32_t(b) << 12;
    if (pads < 2) v |= std::uint32_t(c) << 6;
    if (pads < 1) v |= std::uint32_t(d);
    out += static_cast<char>(v >> 16);
    if (pads < 2) out += static_cast<char>(v >> 8);
    if (pads < 1) out += static_cast<char>(v);
  }
  return out;
}

std::string Base64_Encode(std::string_view bytes) { return TBase64().Encode(bytes); }

std::string Base64_Decode(std::string_view text) { return TBase64().Decode(text); }
