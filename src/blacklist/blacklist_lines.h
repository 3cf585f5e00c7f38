// The two kinds of blacklist lines read from outside: records of the cafe's own
// "blacklist.txt" (checked and masked into entry lines) and sealed lines of the
// central service (opened, kept as they are). Every entry line starts with the
// 18-character ID number and one separator, which the panel relies on.
#pragma once
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "util/text.h"

// Cuts a byte stream into lines ended by CR LF, LF or CR, also when a CR LF
// falls across two pieces. A line longer than `maxLineBytes` is dropped whole:
// no record is that long, and a file without line ends must not be held in
// memory at once.
class LineSplitter {
 public:
  using Sink = std::function<void(std::string_view line)>;
  LineSplitter(std::size_t maxLineBytes, Sink sink) : max_(maxLineBytes), sink_(std::move(sink)) {}

  void Feed(std::string_view piece);
  // The last line, when the stream does not end with a line end.
  void Finish();

 private:
  void EndLine();

  std::size_t max_;
  Sink sink_;
  std::string line_;
  bool overlong_ = false;
  bool lastWasCr_ = false;
};

// A listing date in the short date format: year-month-day or year/month/day
// (one or two digits for month and day), optionally followed by a blank and a
// time of day hh:mm or hh:mm:ss.
bool IsShortDateText(std::string_view text);

// "#" + the name without its first two bytes (the family name), that rest
// padded with spaces to at least four bytes.
std::string MaskName(std::string_view name);

// One line of the local file as an entry line, or nothing when it breaks a
// rule: "#" comment, fewer than three tabs and three spaces, an ID number that
// CheckIdNumber refuses against `today`, a name under 2 bytes, a date that is
// not a short date, a reason under 4 bytes. The reason's "|" become "_".
std::optional<std::string> LocalRecordToEntry(std::string_view line, CalendarDate today);

// One line of the service's reply opened (key row 3, no UTF-8, Base64), or
// nothing when it does not open or holds fewer than three spaces.
std::optional<std::string> OpenServiceLine(std::string_view sealed);
