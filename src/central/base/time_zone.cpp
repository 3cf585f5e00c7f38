#include "central/base/time_zone.h"

#include <algorithm>
#include <fstream>
#include <iterator>

#include "util/text.h"

namespace {

constexpr std::int64_t kDay = 86400;
// No zone is a day or more away from UTC; a larger offset is a broken file.
constexpr int kMaxOffset = 26 * 3600;
// A daylight rule's offsets are written in hours 0 to 24 (and minutes and
// seconds): so its daylight offset, an hour past the standard one unless
// given, stays within kMaxOffset too.
constexpr int kMaxRuleOffset = 24 * 3600 + 59 * 60 + 59;
// Times beyond about 30 000 years either side are taken at that edge, so the
// calendar arithmetic never overflows whatever a caller passes.
constexpr std::int64_t kTimeEdge = std::int64_t{1} << 40;

std::int64_t FloorDiv(std::int64_t a, std::int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }

bool IsLeap(std::int64_t y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int DaysInMonth(int year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeap(year) ? 29 : kDays[month - 1];
}

// Big-endian reader over the file's bytes that never reads past the end.
class Reader {
 public:
  explicit Reader(std::string_view bytes) : bytes_(bytes) {}
  bool Has(std::size_t n) const { return n <= bytes_.size() - at_; }
  std::int64_t Signed(int width) {
    std::uint64_t v = 0;
    for (int i = 0; i < width; ++i) v = (v << 8) | static_cast<unsigned char>(bytes_[at_++]);
    if (width < 8 && (v >> (width * 8 - 1)) != 0) v |= ~std::uint64_t{0} << (width * 8);
    return static_cast<std::int64_t>(v);
  }
  unsigned Byte() { return static_cast<unsigned char>(bytes_[at_++]); }
  void Skip(std::size_t n) { at_ += n; }
  std::string_view Rest() const { return bytes_.substr(at_); }

 private:
  std::string_view bytes_;
  std::size_t at_ = 0;
};

struct Header {
  char version = 0;
  std::size_t isut = 0, isstd = 0, leap = 0, time = 0, type = 0, chars = 0;
};

std::optional<Header> ReadHeader(Reader& r) {
  if (!r.Has(44)) return std::nullopt;
  if (r.Byte() != 'T' || r.Byte() != 'Z' || r.Byte() != 'i' || r.Byte() != 'f') return std::nullopt;
  Header h;
  h.version = static_cast<char>(r.Byte());
  r.Skip(15);
  std::size_t* counts[] = {&h.isut, &h.isstd, &h.leap, &h.time, &h.type, &h.chars};
  for (std::size_t* count : counts) *count = static_cast<std::size_t>(static_cast<std::uint32_t>(r.Signed(4)));
  // At least one local time type; the indicator counts are 0 or one per type.
  if (h.type == 0 || h.type > 256 || (h.isut != 0 && h.isut != h.type) || (h.isstd != 0 && h.isstd != h.type)) {
    return std::nullopt;
  }
  return h;
}

std::size_t BodySize(const Header& h, int timeWidth) {
  return h.time * (timeWidth + 1) + h.type * 6 + h.chars + h.leap * (timeWidth + 4) + h.isstd + h.isut;
}

// [+-]hh[:mm[:ss]], hours up to 167 (the extended rule times allow that).
std::optional<int> RuleSeconds(std::string_view& s) {
  int sign = 1;
  if (!s.empty() && (s[0] == '+' || s[0] == '-')) {
    sign = s[0] == '-' ? -1 : 1;
    s.remove_prefix(1);
  }
  int total = 0;
  for (int part = 0; part < 3; ++part) {
    if (part > 0) {
      if (s.empty() || s[0] != ':') break;
      s.remove_prefix(1);
    }
    int value = 0, digits = 0;
    while (!s.empty() && s[0] >= '0' && s[0] <= '9' && digits < 3) {
      value = value * 10 + (s[0] - '0');
      s.remove_prefix(1);
      ++digits;
    }
    if (digits == 0 || (part == 0 && value > 167) || (part > 0 && value > 59)) return std::nullopt;
    total += value * (part == 0 ? 3600 : part == 1 ? 60 : 1);
  }
  return sign * total;
}

// "CST" or "<+08>": three or more letters, or anything sign-and-alphanumeric in <>.
bool SkipZoneAbbreviation(std::string_view& s) {
  std::size_t n = 0;
  if (!s.empty() && s[0] == '<') {
    const std::size_t close = s.find('>');
    if (close == std::string_view::npos || close < 4) return false;
    n = close + 1;
  } else {
    while (n < s.size() && ((s[n] >= 'A' && s[n] <= 'Z') || (s[n] >= 'a' && s[n] <= 'z'))) ++n;
    if (n < 3) return false;
  }
  s.remove_prefix(n);
  return true;
}

std::optional<int> SmallNumber(std::string_view& s, int low, int high) {
  int value = 0, digits = 0;
  while (!s.empty() && s[0] >= '0' && s[0] <= '9' && digits < 2) {
    value = value * 10 + (s[0] - '0');
    s.remove_prefix(1);
    ++digits;
  }
  if (digits == 0 || value < low || value > high) return std::nullopt;
  return value;
}

// "Mm.w.d[/time]"
std::optional<ZoneRule::Change> ParseChange(std::string_view& s) {
  if (s.empty() || s[0] != 'M') return std::nullopt;
  s.remove_prefix(1);
  ZoneRule::Change c;
  const auto month = SmallNumber(s, 1, 12);
  if (!month || s.empty() || s[0] != '.') return std::nullopt;
  s.remove_prefix(1);
  const auto week = SmallNumber(s, 1, 5);
  if (!week || s.empty() || s[0] != '.') return std::nullopt;
  s.remove_prefix(1);
  const auto weekday = SmallNumber(s, 0, 6);
  if (!weekday) return std::nullopt;
  c.month = *month;
  c.week = *week;
  c.weekday = *weekday;
  if (!s.empty() && s[0] == '/') {
    s.remove_prefix(1);
    const auto time = RuleSeconds(s);
    if (!time) return std::nullopt;
    c.second = *time;
  }
  return c;
}

// Local seconds since 1970 (no offset applied) of a rule's change in `year`.
std::int64_t ChangeLocalSeconds(const ZoneRule::Change& c, int year) {
  const std::int64_t first = DaysFromCivil(year, c.month, 1);
  const int firstWeekday = static_cast<int>(((first + 4) % 7 + 7) % 7);  // 1970-01-01: Thursday
  int day = 1 + (c.weekday - firstWeekday + 7) % 7 + (c.week - 1) * 7;
  while (day > DaysInMonth(year, c.month)) day -= 7;
  return (first + day - 1) * kDay + c.second;
}

int RuleOffsetAt(const ZoneRule& rule, std::int64_t t) {
  if (!rule.hasDaylight) return rule.standardOffset;
  const int year = CivilFromUnix(t + rule.standardOffset).year;
  // The start is given in standard time, the end in daylight time.
  const std::int64_t start = ChangeLocalSeconds(rule.start, year) - rule.standardOffset;
  const std::int64_t end = ChangeLocalSeconds(rule.end, year) - rule.daylightOffset;
  const bool daylight = start < end ? (t >= start && t < end) : (t < end || t >= start);
  return daylight ? rule.daylightOffset : rule.standardOffset;
}

}  // namespace

std::int64_t DaysFromCivil(int year, int month, int day) {
  const std::int64_t y = static_cast<std::int64_t>(year) - (month <= 2);
  const std::int64_t era = FloorDiv(y, 400);
  const std::int64_t yoe = y - era * 400;
  const std::int64_t doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

CivilTime CivilFromUnix(std::int64_t unixSeconds) {
  const std::int64_t t = std::clamp(unixSeconds, -kTimeEdge, kTimeEdge);
  const std::int64_t days = FloorDiv(t, kDay);
  const std::int64_t secs = t - days * kDay;
  const std::int64_t z = days + 719468;
  const std::int64_t era = FloorDiv(z, 146097);
  const std::int64_t doe = z - era * 146097;
  const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const std::int64_t mp = (5 * doy + 2) / 153;
  CivilTime c;
  c.day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  c.month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  c.year = static_cast<int>(yoe + era * 400 + (c.month <= 2));
  c.hour = static_cast<int>(secs / 3600);
  c.minute = static_cast<int>(secs / 60 % 60);
  c.second = static_cast<int>(secs % 60);
  return c;
}

std::optional<ZoneRule> ParseZoneRule(std::string_view s) {
  ZoneRule rule;
  if (!SkipZoneAbbreviation(s)) return std::nullopt;
  // POSIX offsets count west of UTC: "CST-8" is eight hours east.
  const auto standard = RuleSeconds(s);
  if (!standard || *standard > kMaxRuleOffset || *standard < -kMaxRuleOffset) return std::nullopt;
  rule.standardOffset = -*standard;
  if (s.empty()) return rule;
  if (!SkipZoneAbbreviation(s)) return std::nullopt;
  rule.hasDaylight = true;
  rule.daylightOffset = rule.standardOffset + 3600;
  if (!s.empty() && s[0] != ',') {
    const auto daylight = RuleSeconds(s);
    if (!daylight || *daylight > kMaxRuleOffset || *daylight < -kMaxRuleOffset) return std::nullopt;
    rule.daylightOffset = -*daylight;
  }
  if (s.empty() || s[0] != ',') return std::nullopt;
  s.remove_prefix(1);
  const auto start = ParseChange(s);
  if (!start || s.empty() || s[0] != ',') return std::nullopt;
  s.remove_prefix(1);
  const auto end = ParseChange(s);
  if (!end || !s.empty()) return std::nullopt;
  rule.start = *start;
  rule.end = *end;
  return rule;
}

TimeZone TimeZone::Utc() {
  TimeZone zone;
  zone.name_ = "UTC";
  return zone;
}

std::optional<TimeZone> TimeZone::FromTzif(std::string_view bytes, const std::string& name) {
  Reader r(bytes);
  std::optional<Header> h = ReadHeader(r);
  if (!h) return std::nullopt;
  int width = 4;
  if (h->version >= '2') {
    // Version 2 and later repeat the data with 64-bit times after the first
    // block; only that second block and the footer are read.
    const std::size_t skip = BodySize(*h, 4);
    if (!r.Has(skip)) return std::nullopt;
    r.Skip(skip);
    h = ReadHeader(r);
    if (!h) return std::nullopt;
    width = 8;
  }
  if (!r.Has(BodySize(*h, width))) return std::nullopt;
  TimeZone zone;
  zone.name_ = name;
  zone.changes_.reserve(h->time);
  for (std::size_t i = 0; i < h->time; ++i) {
    zone.changes_.push_back(r.Signed(width));
    if (i > 0 && zone.changes_[i] <= zone.changes_[i - 1]) return std::nullopt;
  }
  std::vector<unsigned> typeOfChange;
  for (std::size_t i = 0; i < h->time; ++i) {
    typeOfChange.push_back(r.Byte());
    if (typeOfChange.back() >= h->type) return std::nullopt;
  }
  std::vector<int> typeOffset;
  for (std::size_t i = 0; i < h->type; ++i) {
    const std::int64_t offset = r.Signed(4);
    if (offset > kMaxOffset || offset < -kMaxOffset) return std::nullopt;
    typeOffset.push_back(static_cast<int>(offset));
    r.Skip(2);  // daylight flag, abbreviation index
  }
  r.Skip(h->chars + h->leap * (width + 4) + h->isstd + h->isut);
  zone.firstOffset_ = typeOffset[0];
  for (unsigned type : typeOfChange) zone.offsets_.push_back(typeOffset[type]);
  if (width == 8) {
    // Footer: "\n" rule "\n". An empty rule leaves the last change in force.
    const std::string_view rest = r.Rest();
    if (rest.size() < 2 || rest[0] != '\n') return std::nullopt;
    const std::size_t close = rest.find('\n', 1);
    if (close == std::string_view::npos) return std::nullopt;
    const std::string_view footer = rest.substr(1, close - 1);
    if (!footer.empty()) {
      zone.rule_ = ParseZoneRule(footer);
      if (!zone.rule_) return std::nullopt;
    }
  }
  return zone;
}

int TimeZone::OffsetAt(std::int64_t unixSeconds) const {
  const std::int64_t t = std::clamp(unixSeconds, -kTimeEdge, kTimeEdge);
  if (changes_.empty() || t < changes_.front()) {
    return changes_.empty() && rule_ ? RuleOffsetAt(*rule_, t) : firstOffset_;
  }
  if (t >= changes_.back() && rule_) return RuleOffsetAt(*rule_, t);
  const auto after = std::upper_bound(changes_.begin(), changes_.end(), t);
  return offsets_[static_cast<std::size_t>(after - changes_.begin()) - 1];
}

CivilTime TimeZone::LocalAt(std::int64_t unixSeconds) const {
  const std::int64_t t = std::clamp(unixSeconds, -kTimeEdge, kTimeEdge);
  return CivilFromUnix(t + OffsetAt(t));
}

std::string TimeZone::Text(std::int64_t unixSeconds) const {
  const CivilTime c = LocalAt(unixSeconds);
  return Format("%04d-%02d-%02d %02d:%02d:%02d", c.year, c.month, c.day, c.hour, c.minute, c.second);
}

std::int64_t TimeZone::LocalDay(std::int64_t unixSeconds) const {
  const std::int64_t t = std::clamp(unixSeconds, -kTimeEdge, kTimeEdge);
  return FloorDiv(t + OffsetAt(t), kDay);
}

bool IsZoneName(std::string_view name) {
  if (name.empty() || name.size() > 128) return false;
  std::size_t partStart = 0;
  for (std::size_t i = 0; i <= name.size(); ++i) {
    if (i == name.size() || name[i] == '/') {
      const std::string_view part = name.substr(partStart, i - partStart);
      if (part.empty() || part == "." || part == "..") return false;
      partStart = i + 1;
      continue;
    }
    const char c = name[i];
    const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' ||
                       c == '-' || c == '+' || c == '.';
    if (!plain) return false;
  }
  return true;
}

std::optional<TimeZone> LoadTimeZone(const std::string& name, std::string& error, const std::string& folder) {
  if (!IsZoneName(name)) {
    error = "not a zone name: " + name;
    return std::nullopt;
  }
  const std::string path = folder + "/" + name;
  std::ifstream in(path, std::ios::binary);
  // Zone files are a few kilobytes; a larger file is not one.
  std::string bytes(64 * 1024 + 1, '\0');
  in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  bytes.resize(static_cast<std::size_t>(in.gcount()));
  if (!in.eof() || bytes.empty()) {
    error = "cannot read " + path;
    return std::nullopt;
  }
  std::optional<TimeZone> zone = TimeZone::FromTzif(bytes, name);
  if (!zone) error = path + " is not a zone file";
  return zone;
}
