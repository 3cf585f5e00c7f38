#include "blacklist/blacklist_lines.h"

#include <algorithm>
#include <cstdint>

#include "crypto/codepage.h"
#include "crypto/envelope.h"

namespace {
constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
}  // namespace

void LineSplitter::Feed(std::string_view piece) {
  if (lookForBom_) piece = TakeBom(piece);
  FeedText(piece);
}

// The mark may arrive across pieces of any size; bytes that turn out not to
// be one are text.
std::string_view LineSplitter::TakeBom(std::string_view piece) {
  while (!piece.empty() && bomSeen_ < kUtf8Bom.size()) {
    if (piece[0] != kUtf8Bom[bomSeen_]) {
      lookForBom_ = false;
      FeedText(kUtf8Bom.substr(0, bomSeen_));
      return piece;
    }
    ++bomSeen_;
    piece.remove_prefix(1);
  }
  if (bomSeen_ == kUtf8Bom.size()) {
    lookForBom_ = false;
    utf8_ = true;
  }
  return piece;
}

void LineSplitter::FeedText(std::string_view piece) {
  for (char c : piece) {
    if (c == '\n' && lastWasCr_) {  // the LF of a CR LF
      lastWasCr_ = false;
      continue;
    }
    lastWasCr_ = c == '\r';
    if (c == '\r' || c == '\n') {
      EndLine();
      continue;
    }
    if (overlong_) continue;
    if (line_.size() >= max_) {
      overlong_ = true;
      line_.clear();
      line_.shrink_to_fit();
      continue;
    }
    line_ += c;
  }
}

void LineSplitter::Finish() {
  if (lookForBom_) {  // a stream shorter than the mark
    lookForBom_ = false;
    FeedText(kUtf8Bom.substr(0, bomSeen_));
  }
  if (!line_.empty() || overlong_) EndLine();
  lastWasCr_ = false;
}

void LineSplitter::EndLine() {
  if (!overlong_) {
    sink_(line_);
  } else if (overlongSink_) {
    overlongSink_();
  }
  line_.clear();
  overlong_ = false;
}

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Reads 1..maxDigits decimal digits at `at`; false when there are none.
bool ReadNumber(std::string_view text, std::size_t& at, std::size_t maxDigits, int& value) {
  std::size_t start = at;
  value = 0;
  while (at < text.size() && IsDigit(text[at]) && at - start < maxDigits) {
    value = value * 10 + (text[at] - '0');
    ++at;
  }
  return at > start;
}

bool IsValidDate(int y, int m, int d) {
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (y < 1 || m < 1 || m > 12 || d < 1) return false;
  const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
  return d <= (m == 2 && leap ? 29 : kDays[m - 1]);
}

bool IsTimeText(std::string_view text) {
  std::size_t at = 0;
  int h = 0, mi = 0, s = 0;
  if (!ReadNumber(text, at, 2, h) || at >= text.size() || text[at] != ':') return false;
  ++at;
  if (!ReadNumber(text, at, 2, mi)) return false;
  if (at < text.size()) {
    if (text[at] != ':') return false;
    ++at;
    if (!ReadNumber(text, at, 2, s)) return false;
  }
  return at == text.size() && h < 24 && mi < 60 && s < 60;
}

}  // namespace

bool IsShortDateText(std::string_view text) {
  std::size_t at = 0;
  int y = 0, m = 0, d = 0;
  if (!ReadNumber(text, at, 4, y) || at != 4 || at >= text.size()) return false;
  const char sep = text[at++];
  if (sep != '-' && sep != '/' && sep != '.') return false;
  if (!ReadNumber(text, at, 2, m) || at >= text.size() || text[at++] != sep) return false;
  if (!ReadNumber(text, at, 2, d) || !IsValidDate(y, m, d)) return false;
  if (at == text.size()) return true;
  if (text[at] != ' ') return false;
  while (at < text.size() && text[at] == ' ') ++at;
  return IsTimeText(text.substr(at));
}

std::string MaskName(std::string_view name) {
  // The rest of the name is padded to four bytes, so a two-character name
  // reads "#", its second character and two spaces. Whole characters go: a
  // name that starts with one single-byte character loses the two-byte one
  // after it too.
  std::string rest(name.substr(GbkBoundaryFrom(name, 2)));
  if (rest.size() < 4) rest.append(4 - rest.size(), ' ');
  return "#" + rest;
}

namespace {

// The first control byte of a field, or nothing. Tabs are allowed: a
// space-separated record may hold them inside a field. No byte below 0x20 or
// 0x7F is the second byte of a GBK character, so a plain scan is exact.
std::optional<unsigned char> ControlByte(std::string_view field) {
  for (char c : field) {
    const auto b = static_cast<unsigned char>(c);
    if ((b < 0x20 && b != '\t') || b == 0x7F) return b;
  }
  return std::nullopt;
}

std::string IdRefusal(std::string_view id, CalendarDate today) {
  if (id.size() != 18) return Format("ID number: 18 characters expected, %d found", static_cast<int>(id.size()));
  switch (CheckIdNumber(id, today)) {
    case 1: return {};
    case -2: return "ID number: digits expected in characters 1-17";
    case -3: return "ID number: a digit or X expected in character 18";
    case -4: return "ID number: a region code 11-82 expected in characters 1-2";
    case -5: return "ID number: a birth date expected in characters 7-14";
    default: return "ID number: a birth date between 1900-10-01 and today expected";
  }
}

// A field left empty by two separators side by side ("ID  name ..."): cut at
// every separator, the line's fields slide one place and the empty one is
// refused; say so rather than "at least N bytes".
std::string DoubledSeparatorRefusal(const char* what, std::string_view field, bool separatorFollows, char separator) {
  if (!field.empty() || !separatorFollows) return {};
  return Format("%s: empty, two %s stand together before it; one %s between fields expected", what,
                separator == '\t' ? "tabs" : "spaces", separator == '\t' ? "tab" : "space");
}

std::string TextRefusal(const char* what, std::string_view field, int minBytes) {
  if (const auto control = ControlByte(field)) {
    return Format("%s: no control bytes expected, 0x%02X found", what, static_cast<unsigned>(*control));
  }
  if (field.size() < static_cast<std::size_t>(minBytes)) return Format("%s: at least %d bytes expected", what, minBytes);
  return {};
}

}  // namespace

RecordCheck CheckBlacklistRecord(std::string_view line, CalendarDate today) {
  RecordCheck check;
  if (line.find_first_not_of(" \t") == std::string_view::npos || line[0] == '#') {
    check.skipped = true;
    return check;
  }
  char separator = '\t';
  int count = CountOccurrences(line, "\t");
  if (count < 3) {
    separator = ' ';
    count = CountOccurrences(line, " ");
    if (count < 3) {
      check.refusal = "four fields expected (ID number, name, date, reason), separated by tabs or spaces";
      return check;
    }
  }
  const std::vector<std::string> fields = SplitText(line, separator, count + 1);
  BlacklistRecord record{separator, fields[0], fields[1], fields[2], fields[3]};
  check.refusal = IdRefusal(record.idNumber, today);
  const char* names[] = {"name", "date", "reason"};
  for (int k = 1; k <= 3 && check.refusal.empty(); ++k) {
    check.refusal = DoubledSeparatorRefusal(names[k - 1], fields[k], k < count, separator);
  }
  if (check.refusal.empty()) check.refusal = TextRefusal("name", record.name, 2);
  if (check.refusal.empty() && !IsShortDateText(record.date)) {
    check.refusal = "date: a date such as 2024-03-07, 2024/3/7 or 2024.3.7 expected, optionally with a time such as 09:05";
  }
  if (check.refusal.empty()) check.refusal = TextRefusal("reason", record.reason, 4);
  if (check.refusal.empty()) check.record = std::move(record);
  return check;
}

std::size_t Utf8SequenceLength(unsigned char lead) {
  if (lead < 0x80) return 1;
  if ((lead >> 5) == 0x6) return lead < 0xC2 ? 0 : 2;
  if ((lead >> 4) == 0xE) return 3;
  return (lead >> 3) == 0x1E ? 4 : 0;
}

std::string Utf8CharacterGbkLacks(std::string_view line) {
  line = line.substr(0, line.find('\0'));
  if (Ansi_ToUtf8(Utf8_ToAnsi(line)) == line) return {};
  for (std::size_t i = 0; i < line.size();) {
    const auto lead = static_cast<unsigned char>(line[i]);
    const std::size_t length = std::max<std::size_t>(Utf8SequenceLength(lead), 1);
    const std::string_view character = line.substr(i, length);
    if (Ansi_ToUtf8(Utf8_ToAnsi(character)) != character) {
      const bool whole = character.size() == length &&
                         std::all_of(character.begin() + 1, character.end(),
                                     [](char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; });
      if (length == 1 || !whole) return Format("byte 0x%02X, which is not UTF-8 text", lead);
      std::uint32_t code = lead & (0x7F >> length);
      for (std::size_t k = 1; k < length; ++k) code = (code << 6) | (static_cast<unsigned char>(character[k]) & 0x3F);
      return Format("U+%04X, a character GBK does not have", static_cast<unsigned>(code));
    }
    i += length;
  }
  return {};
}

std::string LineAsGbk(std::string_view line, bool utf8) {
  if (!utf8 || line.find('\0') != std::string_view::npos) return std::string(line);
  return Utf8_ToAnsi(line);
}

BlacklistFileReader::BlacklistFileReader(bool utf8, CalendarDate today, Sink sink)
    : utf8_(utf8), today_(today), sink_(std::move(sink)),
      splitter_(kMaxBlacklistLineBytes, [this](std::string_view line) {
        const bool utf8Line = utf8_ || splitter_.Utf8();
        RecordCheck check = CheckBlacklistRecord(LineAsGbk(line, utf8Line), today_);
        if (utf8Line) check.notGbk = Utf8CharacterGbkLacks(line);
        sink_(++number_, check);
      }) {
  splitter_.SkipUtf8Bom();
  splitter_.OnOverlong([this] {
    RecordCheck check;
    check.refusal = Format("a line of at most %d bytes expected", static_cast<int>(kMaxBlacklistLineBytes));
    sink_(++number_, check);
  });
}

std::string LocalEntry(const BlacklistRecord& r) {
  std::string entry = r.idNumber;
  entry += r.separator;
  entry += MaskName(r.name);
  entry += r.separator;
  entry += r.date;
  entry += r.separator;
  entry += ReplaceAll(r.reason, "|", "_", true);
  return entry;
}

std::optional<std::string> LocalRecordToEntry(std::string_view line, CalendarDate today) {
  const RecordCheck check = CheckBlacklistRecord(line, today);
  if (!check.record) return std::nullopt;
  return LocalEntry(*check.record);
}

std::optional<std::string> OpenServiceLine(std::string_view sealed) {
  std::string opened;
  Des_Crypt(std::string(sealed), 2, 3, 0, true, opened);
  if (CountOccurrences(opened, " ") < 3) return std::nullopt;
  return opened;
}
