// Compile-time reading of hex digit strings, used for the key material that the
// build passes in as text (so the program holds bytes, not the digit strings).
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace hex {

constexpr int DigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// Bytes of a hex digit string of exactly 2*N digits.
template <std::size_t N, std::size_t Digits>
consteval std::array<std::uint8_t, N> ToBytes(const char (&digits)[Digits]) {
  static_assert(Digits == 2 * N + 1, "wrong number of hex digits");
  std::array<std::uint8_t, N> out{};
  for (std::size_t i = 0; i < N; ++i) {
    int hi = DigitValue(digits[2 * i]);
    int lo = DigitValue(digits[2 * i + 1]);
    if (hi < 0 || lo < 0) throw "not a hex digit";  // a compile error in consteval
    out[i] = static_cast<std::uint8_t>(hi * 16 + lo);
  }
  return out;
}

// Bytes of a run-time text of exactly 2*N hex digits (either case); nothing
// for anything else.
template <std::size_t N>
std::optional<std::array<std::uint8_t, N>> ParseBytes(std::string_view digits) {
  if (digits.size() != 2 * N) return std::nullopt;
  std::array<std::uint8_t, N> bytes{};
  for (std::size_t i = 0; i < N; ++i) {
    const int hi = DigitValue(digits[2 * i]);
    const int lo = DigitValue(digits[2 * i + 1]);
    if (hi < 0 || lo < 0) return std::nullopt;
    bytes[i] = static_cast<std::uint8_t>(hi * 16 + lo);
  }
  return bytes;
}

}  // namespace hex
