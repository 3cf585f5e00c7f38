#include "blacklist/blacklist_lines.h"

#include "crypto/envelope.h"

void LineSplitter::Feed(std::string_view piece) {
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
  if (!line_.empty() || overlong_) EndLine();
  lastWasCr_ = false;
}

void LineSplitter::EndLine() {
  if (!overlong_) sink_(line_);
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
  if (sep != '-' && sep != '/') return false;
  if (!ReadNumber(text, at, 2, m) || at >= text.size() || text[at++] != sep) return false;
  if (!ReadNumber(text, at, 2, d) || !IsValidDate(y, m, d)) return false;
  if (at == text.size()) return true;
  if (text[at] != ' ') return false;
  while (at < text.size() && text[at] == ' ') ++at;
  return IsTimeText(text.substr(at));
}

std::string MaskName(std::string_view name) {
  // The rest of the name is padded to four bytes, so a two-character name
  // reads "#", its second character and two spaces.
  std::string rest(name.size() > 2 ? name.substr(2) : std::string_view());
  if (rest.size() < 4) rest.append(4 - rest.size(), ' ');
  return "#" + rest;
}

std::optional<std::string> LocalRecordToEntry(std::string_view line, CalendarDate today) {
  if (line.empty() || line[0] == '#') return std::nullopt;
  char separator = '\t';
  int count = CountOccurrences(line, "\t");
  if (count < 3) {
    separator = ' ';
    count = CountOccurrences(line, " ");
    if (count < 3) return std::nullopt;
  }
  const std::vector<std::string> fields = SplitText(line, separator, count + 1);
  const std::string& id = fields[0];
  const std::string& name = fields[1];
  const std::string& date = fields[2];
  const std::string& reason = fields[3];
  if (CheckIdNumber(id, today) != 1 || name.size() < 2 || !IsShortDateText(date) ||
      reason.size() < 4) {
    return std::nullopt;
  }
  std::string entry = id;
  entry += separator;
  entry += MaskName(name);
  entry += separator;
  entry += date;
  entry += separator;
  entry += ReplaceAll(reason, "|", "_", true);
  return entry;
}

std::optional<std::string> OpenServiceLine(std::string_view sealed) {
  std::string opened;
  Des_Crypt(std::string(sealed), 2, 3, 0, true, opened);
  if (CountOccurrences(opened, " ") < 3) return std::nullopt;
  return opened;
}
