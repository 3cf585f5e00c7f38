// Shared text, date and identity-number helpers. All text is byte text in the
// ANSI code page (GBK): a byte of 0x80 or above starts a two-byte character.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

// printf-style formatting into a std::string.
std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Values a format known only at run time (a deciphered literal) may take.
// The compiler cannot match such values to the conversions, so only values
// that fill one argument slot of the same size in 32- and 64-bit builds are
// accepted: int and unsigned for %d and %u, double, and C strings for %s.
// Window handles go through HandleNumber, 64-bit numbers through an explicit
// conversion; anything else fails to compile instead of shifting every later
// value of the line in the 32-bit program.
template <typename T>
inline constexpr bool kRuntimeFormatValue =
    std::is_same_v<T, int> || std::is_same_v<T, unsigned> || std::is_same_v<T, double> ||
    std::is_same_v<T, const char*> || std::is_same_v<T, char*>;

// printf-style formatting with a format known only at run time.
template <typename... Values>
std::string FormatRuntime(const std::string& format, Values... values) {
  static_assert((kRuntimeFormatValue<Values> && ...),
                "a run-time format takes int, unsigned, double or C strings only");
  return Format(format.c_str(), values...);
}

// Length of the longest start of `text` that holds at most `maxBytes` bytes
// and ends on a character boundary of code page 936: a lead byte (0x81-0xFE)
// takes the byte after it along; 0x80 and below are characters of one byte.
// A lead byte at the very end of the text counts as a character of its own.
std::size_t GbkCutLength(std::string_view text, std::size_t maxBytes);

// The first character boundary at or after byte `at` (the text's length when
// `at` lies beyond it): where the rest of a text starts after its first `at`
// bytes, without beginning on the second byte of a character.
std::size_t GbkBoundaryFrom(std::string_view text, std::size_t at);

// Number of non-overlapping occurrences of sub in text; 0 for an empty sub.
int CountOccurrences(std::string_view text, std::string_view sub);

// Exactly `count` elements: the pieces between separators, the last one takes
// the rest of the text (separators included).
std::vector<std::string> SplitText(std::string_view text, char separator, int count);

// 1-based position of the first occurrence of sub at or after `start`, or 0.
// No match begins on the second byte of a double-byte character; ignoreCase
// folds ASCII letters only.
int FindText(std::string_view sub, std::string_view text, bool ignoreCase, int start);

// Every occurrence of find replaced, left to right, never overlapping.
std::string ReplaceAll(std::string_view text, std::string_view find, std::string_view replacement,
                       bool caseSensitive);

// The text up to its first space; the whole text when it has none.
std::string TextBeforeSpace(std::string_view text);

// The text with ASCII letters in upper case; other bytes unchanged.
std::string UpperAscii(std::string_view text);

// Equal length and equal bytes after folding ASCII letters to upper case.
bool SameTextAscii(std::string_view a, std::string_view b);

struct CalendarDate {
  int year = 0;
  int month = 0;
  int day = 0;
};

// Form check of an 18-character resident identity number against today's date:
// 1 when it passes, -1..-6 for the first defect found (see the .cpp).
int CheckIdNumber(std::string_view text, CalendarDate today);

// "%dd %02d:%02d:%02d" of days, hours, minutes and seconds; 93784 -> "1d 02:03:04".
std::string FormatDuration(std::int64_t seconds);

// Local date-time as days since 1899-12-30 (the fraction is the time of day) to
// Unix seconds, taking the local clock to be eight hours ahead of UTC.
std::int64_t LocalToUnixTime(double localDays);

// Days since 1899-12-30 of a local date and time.
double LocalDays(int year, int month, int day, int hour, int minute, int second, int millisecond);

// A decimal integer: optional blanks, optional sign, digits, nothing else, and
// within 32 bits. Hex or empty text is not a number.
std::optional<int> ParseDecimal(std::string_view text);
