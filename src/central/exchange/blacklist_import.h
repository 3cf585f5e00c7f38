// The operator's blacklist file, read into the lines the service hands out.
// The file has the shape of a cafe's own blacklist.txt (GBK, one record per
// line: ID number, name, listing date, reason, separated by tabs or spaces),
// so a list kept for one cafe can be published to all of them.
#pragma once
#include <ostream>
#include <string>
#include <vector>

#include "util/text.h"

struct BlacklistEntry {
  std::string idNumber;  // 18 characters
  std::string line;      // GBK: ID, masked name, date, reason, separated by spaces
};

// A line of the file, 1-based, and what it says about that line.
struct LineNote {
  int line = 0;
  std::string why;
  bool operator==(const LineNote&) const = default;
  friend std::ostream& operator<<(std::ostream& out, const LineNote& note) {
    return out << "line " << note.line << ": " << note.why;
  }
};

struct BlacklistImport {
  std::vector<BlacklistEntry> entries;
  std::vector<LineNote> refused;   // lines not imported, and why
  std::vector<LineNote> warnings;  // lines imported, with something to check
};

// Accepts a record by the assistant's own rule (CheckBlacklistRecord: the
// same ID numbers, names, dates and reasons; "#" lines are comments), and
// refuses besides a name or reason that is not GBK text, since the store
// keeps UTF-8 and the cafes would get it changed. An ID number whose check
// character does not fit is imported with a warning: the assistant takes it
// too, but it can never match a real card. The line it makes uses spaces,
// because the assistant keeps a service line only when it holds three
// spaces; tabs inside the name and reason become spaces. The name is masked
// to its given names ("#" + the name without its first character), so full
// names never leave the service; a name that starts with "#" is taken as
// already masked. "|" in the reason becomes "_". Empty lines are skipped
// without counting as refused; a line over kMaxBlacklistLineBytes is refused,
// as the assistant refuses it in its own file. The file is GBK, or UTF-8 when `utf8` says so
// or when it starts with a UTF-8 byte-order mark.
BlacklistImport ParseBlacklistFile(const std::string& text, bool utf8, CalendarDate today);

// True when the text holds bytes beyond ASCII and all of them form UTF-8
// characters: a file saved as UTF-8 that would be misread as GBK. (GBK text of
// any length rarely is valid UTF-8.)
bool LooksLikeUtf8(const std::string& text);
