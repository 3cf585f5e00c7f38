// The operator's blacklist file, read into the lines the service hands out.
// The file has the shape of a cafe's own blacklist.txt (GBK, one record per
// line: ID number, name, listing date, reason, separated by tabs or spaces),
// so a list kept for one cafe can be published to all of them.
#pragma once
#include <string>
#include <vector>

#include "util/text.h"

struct BlacklistEntry {
  std::string idNumber;  // 18 characters
  std::string line;      // GBK: ID, masked name, date, reason, separated by spaces
};

struct BlacklistImport {
  std::vector<BlacklistEntry> entries;
  std::vector<int> rejectedLines;  // 1-based numbers of lines refused
};

// Accepts a record as the assistant accepts a local one (a valid ID number,
// here with its check character too,
// a name of 2 bytes or more, a date, a reason of 4 bytes or more; "#" lines
// are comments). The line it makes uses spaces, because the assistant keeps
// a service line only when it holds three spaces; tabs inside the reason
// become spaces. The name is masked to its given names ("#" + the name
// without its first character), so full names never leave the service; a
// name that starts with "#" is taken as already masked. "|" in the reason
// becomes "_". Empty lines are skipped without counting as refused.
BlacklistImport ParseBlacklistFile(const std::string& gbkText, CalendarDate today);
