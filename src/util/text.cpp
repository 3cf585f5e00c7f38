#include "util/text.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>

std::string Format(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list copy;
  va_copy(copy, args);
  int size = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  std::string out;
  if (size > 0) {
    out.resize(static_cast<std::size_t>(size) + 1);
    std::vsnprintf(out.data(), out.size(), format, args);
    out.resize(static_cast<std::size_t>(size));
  }
  va_end(args);
  return out;
}

int CountOccurrences(std::string_view text, std::string_view sub) {
  if (sub.empty()) return 0;
  int count = 0;
  for (std::size_t pos = text.find(sub); pos != std::string_view::npos;
       pos = text.find(sub, pos + sub.size())) {
    ++count;
  }
  return count;
}

std::vector<std::string> SplitText(std::string_view text, char separator, int count) {
  std::vector<std::string> parts;
  if (count <= 0) return parts;
  parts.reserve(static_cast<std::size_t>(count));
  for (int i = 0; i < count - 1; ++i) {
    std::size_t pos = text.find(separator);
    if (pos == std::string_view::npos) {
      parts.emplace_back(text);
      text = {};
    } else {
      parts.emplace_back(text.substr(0, pos));
      text.remove_prefix(pos + 1);
    }
  }
  parts.emplace_back(text);
  return parts;
}

namespace {

unsigned char FoldAscii(unsigned char c) { return (c >= 'a' && c <= 'z') ? c - 'a' + 'A' : c; }

bool SameByte(char a, char b, bool ignoreCase) {
  auto x = static_cast<unsigned char>(a);
  auto y = static_cast<unsigned char>(b);
  return ignoreCase ? FoldAscii(x) == FoldAscii(y) : x == y;
}

}  // namespace

std::size_t GbkCutLength(std::string_view text, std::size_t maxBytes) {
  std::size_t length = 0;
  while (length < text.size()) {
    const auto lead = static_cast<unsigned char>(text[length]);
    const std::size_t width = lead >= 0x81 && lead <= 0xFE && length + 1 < text.size() ? 2 : 1;
    if (length + width > maxBytes) break;
    length += width;
  }
  return length;
}

std::size_t GbkBoundaryFrom(std::string_view text, std::size_t at) {
  if (at >= text.size()) return text.size();
  const std::size_t cut = GbkCutLength(text, at);
  // Short of `at` only when a two-byte character straddles it.
  return cut < at ? cut + 2 : cut;
}

int FindText(std::string_view sub, std::string_view text, bool ignoreCase, int start) {
  if (sub.empty()) return 0;
  const auto textLen = static_cast<std::int64_t>(text.size());
  const auto subLen = static_cast<std::int64_t>(sub.size());
  if (start < 1) start = 1;
  const std::int64_t lastCandidate = textLen - subLen;  // 0-based
  if (start - 1 > lastCandidate) return 0;
  for (std::int64_t i = start - 1; i <= lastCandidate;) {
    if (SameByte(text[i], sub[0], ignoreCase)) {
      std::int64_t k = subLen - 1;
      while (k >= 1 && SameByte(text[i + k], sub[k], ignoreCase)) --k;
      if (k < 1) return static_cast<int>(i + 1);
    }
    i += static_cast<unsigned char>(text[i]) >= 0x80 ? 2 : 1;
  }
  return 0;
}

std::string ReplaceAll(std::string_view text, std::string_view find, std::string_view replacement,
                       bool caseSensitive) {
  if (text.empty()) return {};
  if (find.empty()) return std::string(text);
  std::string out;
  int from = 1;
  for (;;) {
    int pos = FindText(find, text, !caseSensitive, from);
    if (pos == 0) break;
    out.append(text.substr(from - 1, pos - from));
    out.append(replacement);
    from = pos + static_cast<int>(find.size());
  }
  out.append(text.substr(from - 1));
  return out;
}

std::string TextBeforeSpace(std::string_view text) {
  return std::string(text.substr(0, text.find(' ')));
}

std::string UpperAscii(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(FoldAscii(static_cast<unsigned char>(c)));
  return out;
}

bool SameTextAscii(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (FoldAscii(static_cast<unsigned char>(a[i])) != FoldAscii(static_cast<unsigned char>(b[i])))
      return false;
  }
  return true;
}

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

int Digits(std::string_view text, std::size_t from, std::size_t count) {
  int value = 0;
  for (std::size_t i = from; i < from + count; ++i) value = value * 10 + (text[i] - '0');
  return value;
}

bool IsLeapYear(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int DaysInMonth(int y, int m) {
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return (m == 2 && IsLeapYear(y)) ? 29 : kDays[m - 1];
}

int CompareDates(CalendarDate a, CalendarDate b) {
  if (a.year != b.year) return a.year < b.year ? -1 : 1;
  if (a.month != b.month) return a.month < b.month ? -1 : 1;
  if (a.day != b.day) return a.day < b.day ? -1 : 1;
  return 0;
}

}  // namespace

int CheckIdNumber(std::string_view text, CalendarDate today) {
  if (text.size() < 18) return -1;
  for (std::size_t i = 0; i < 17; ++i) {
    if (!IsDigit(text[i])) return -2;
  }
  if (!IsDigit(text[17]) && text[17] != 'X' && text[17] != 'x') return -3;
  int region = Digits(text, 0, 2);
  if (region < 11 || region > 82) return -4;
  CalendarDate birth{Digits(text, 6, 4), Digits(text, 10, 2), Digits(text, 12, 2)};
  if (birth.year < 1 || birth.month < 1 || birth.month > 12 || birth.day < 1 ||
      birth.day > DaysInMonth(birth.year, birth.month)) {
    return -5;
  }
  if (CompareDates(birth, today) > 0 || CompareDates(birth, {1900, 10, 1}) < 0) return -6;
  return 1;
}

std::string FormatDuration(std::int64_t seconds) {
  return Format("%lldd %02lld:%02lld:%02lld", static_cast<long long>(seconds / 86400),
                static_cast<long long>(seconds / 3600 % 24),
                static_cast<long long>(seconds % 3600 / 60), static_cast<long long>(seconds % 60));
}

std::int64_t LocalToUnixTime(double localDays) {
  // nearbyint rounds ties to even in the default rounding mode.
  return static_cast<std::int64_t>(std::nearbyint((localDays - 25569.0) * 86400.0)) - 28800;
}

double LocalDays(int year, int month, int day, int hour, int minute, int second, int millisecond) {
  // Days from 1899-12-30 to the date, via days since the civil epoch.
  auto daysFromCivil = [](int y, int m, int d) {
    y -= m <= 2;
    const int era = (y >= 0 ? y : y - 399) / 400;
    const int yoe = y - era * 400;
    const int doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return static_cast<std::int64_t>(era) * 146097 + doe - 719468;  // days since 1970-01-01
  };
  const double days = static_cast<double>(daysFromCivil(year, month, day) + 25569);
  return days + (hour * 3600.0 + minute * 60.0 + second + millisecond / 1000.0) / 86400.0;
}

std::optional<int> ParseDecimal(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  bool negative = false;
  if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  if (text.empty()) return std::nullopt;
  std::int64_t value = 0;
  for (char c : text) {
    if (!IsDigit(c)) return std::nullopt;
    value = value * 10 + (c - '0');
    if (value > 2147483648LL) return std::nullopt;
  }
  if (negative) value = -value;
  if (value > 2147483647LL || value < -2147483648LL) return std::nullopt;
  return static_cast<int>(value);
}
