// Enciphered literals: the program's revealing strings (registry paths, file
// names, service addresses, some log formats) are held only as upper-case hex
// text, each byte XORed with the literal key table. literal_table.h keeps the
// plain values; Encipher turns them into hex while compiling, so the plain text
// never reaches the executable.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "util/hex.h"

namespace literals {

// Four rows of 8 bytes, numbered from 1. Row 1 deciphers every literal.
inline constexpr std::array<std::uint8_t, 32> kKeyTable = hex::ToBytes<32>(TOLLIMER_LITERAL_KEYS);

template <std::size_t N>
struct Enciphered {
  char hex[2 * (N - 1) + 1];
};

template <std::size_t N>
consteval Enciphered<N> Encipher(const char (&plain)[N]) {
  constexpr char kDigits[] = "0123456789ABCDEF";
  Enciphered<N> out{};
  for (std::size_t i = 0; i + 1 < N; ++i) {
    auto b = static_cast<std::uint8_t>(static_cast<std::uint8_t>(plain[i]) ^ kKeyTable[i % 8]);
    out.hex[2 * i] = kDigits[b >> 4];
    out.hex[2 * i + 1] = kDigits[b & 15];
  }
  out.hex[2 * (N - 1)] = '\0';
  return out;
}

}  // namespace literals

// Plain text of an enciphered literal with key row `row` (1..4). An invalid
// text (lower-case digits, other characters) gives the empty text; an odd last
// digit is ignored; each literal restarts at byte 0 of the row.
std::string DecipherLiteral(std::string_view text, int row);

// The plain text of a literal from the table, deciphered with row 1.
template <std::size_t N>
std::string Literal(const literals::Enciphered<N>& lit) {
  return DecipherLiteral(lit.hex, 1);
}
