#include "central/blacklist_import.h"

#include <algorithm>

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The check character of ISO 7064 MOD 11-2 over the first 17 digits. The
// assistant does not look at it, but a list that every cafe gets should not
// carry a mistyped number that can never match a real card.
bool CheckCharacterFits(const std::string& id) {
  static constexpr int kWeights[17] = {7, 9, 10, 5, 8, 4, 2, 1, 6, 3, 7, 9, 10, 5, 8, 4, 2};
  int sum = 0;
  for (int i = 0; i < 17; ++i) sum += (id[i] - '0') * kWeights[i];
  return "10X98765432"[sum % 11] == (id[17] == 'x' ? 'X' : id[17]);
}

// YYYY-MM-DD, YYYY/MM/DD or YYYY.MM.DD, optionally followed by a space and
// HH:MM or HH:MM:SS (possible only in tab-separated files).
bool IsListingDate(const std::string& text) {
  if (text.size() < 10) return false;
  for (int i : {0, 1, 2, 3, 5, 6, 8, 9}) {
    if (!IsDigit(text[i])) return false;
  }
  const char sep = text[4];
  if ((sep != '-' && sep != '/' && sep != '.') || text[7] != sep) return false;
  const int month = (text[5] - '0') * 10 + (text[6] - '0');
  const int day = (text[8] - '0') * 10 + (text[9] - '0');
  if (month < 1 || month > 12 || day < 1 || day > 31) return false;
  if (text.size() == 10) return true;
  const std::string time = text.substr(10);
  auto twoDigits = [&](std::size_t at, int max) {
    return IsDigit(time[at]) && IsDigit(time[at + 1]) && (time[at] - '0') * 10 + (time[at + 1] - '0') <= max;
  };
  if (time.size() != 6 && time.size() != 9) return false;
  if (time[0] != ' ' || time[3] != ':' || !twoDigits(1, 23) || !twoDigits(4, 59)) return false;
  return time.size() == 6 || (time[6] == ':' && twoDigits(7, 59));
}

// "#" and the given names padded to four bytes: a two-character name becomes
// "#", its second character and two spaces, the way the assistant shows its
// local records, so the panel's columns line up.
std::string MaskedName(const std::string& name) {
  std::string masked = name[0] == '#' ? name : "#" + name.substr(2);
  if (masked.size() < 5) masked.append(5 - masked.size(), ' ');
  return masked;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t begin = 0;
  while (begin <= text.size()) {
    std::size_t end = text.find_first_of("\r\n", begin);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(begin, end - begin));
    if (end < text.size() && text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') ++end;
    begin = end + 1;
  }
  return lines;
}

}  // namespace

BlacklistImport ParseBlacklistFile(const std::string& gbkText, CalendarDate today) {
  BlacklistImport result;
  const std::vector<std::string> lines = Lines(gbkText);
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const std::string& line = lines[i];
    const int number = static_cast<int>(i) + 1;
    if (line.find_first_not_of(" \t") == std::string::npos || line[0] == '#') continue;
    char separator = 0;
    if (std::count(line.begin(), line.end(), '\t') >= 3) {
      separator = '\t';
    } else if (std::count(line.begin(), line.end(), ' ') >= 3) {
      separator = ' ';
    } else {
      result.rejectedLines.push_back(number);
      continue;
    }
    const int fields = CountOccurrences(line, std::string(1, separator)) + 1;
    const std::vector<std::string> parts = SplitText(line, separator, fields);
    const std::string& id = parts[0];
    const std::string& name = parts[1];
    const std::string& date = parts[2];
    std::string reason = ReplaceAll(parts[3], "|", "_", true);
    std::replace(reason.begin(), reason.end(), '\t', ' ');
    if (id.size() != 18 || CheckIdNumber(id, today) != 1 || !CheckCharacterFits(id) || name.size() < 2 || !IsListingDate(date) ||
        reason.size() < 4) {
      result.rejectedLines.push_back(number);
      continue;
    }
    result.entries.push_back({UpperAscii(id), UpperAscii(id) + " " + MaskedName(name) + " " + date + " " + reason});
  }
  return result;
}
