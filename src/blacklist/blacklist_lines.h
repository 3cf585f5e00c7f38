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

  // Called for each line dropped as too long, in its place among the lines.
  void OnOverlong(std::function<void()> overlong) { overlongSink_ = std::move(overlong); }

  void Feed(std::string_view piece);
  // The last line, when the stream does not end with a line end.
  void Finish();

  // Before the first Feed: a UTF-8 byte-order mark at the start of the stream
  // is taken off, and Utf8() tells (from the first line on) that one was there.
  void SkipUtf8Bom() { lookForBom_ = true; }
  bool Utf8() const { return utf8_; }

 private:
  void FeedText(std::string_view piece);
  std::string_view TakeBom(std::string_view piece);
  void EndLine();

  std::size_t max_;
  Sink sink_;
  std::function<void()> overlongSink_;
  std::string line_;
  bool overlong_ = false;
  bool lastWasCr_ = false;
  bool lookForBom_ = false;
  std::size_t bomSeen_ = 0;  // bytes of the mark matched so far
  bool utf8_ = false;
};

// A listing date in the short date format: year-month-day, year/month/day or
// year.month.day (one or two digits for month and day), optionally followed by
// blanks and a time of day hh:mm or hh:mm:ss.
bool IsShortDateText(std::string_view text);

// One record of a blacklist file (the cafe's blacklist.txt, or the operator's
// file that the central service imports), cut into its four fields.
struct BlacklistRecord {
  char separator = '\t';
  std::string idNumber, name, date, reason;
};

// What the rule makes of one line: a record, a line to pass over (empty, or a
// "#" comment), or a refusal that names the field and what was expected.
struct RecordCheck {
  std::optional<BlacklistRecord> record;
  bool skipped = false;
  std::string refusal;
  // A UTF-8 line only: what it held that has no GBK form ("U+1F600, a
  // character GBK does not have"), which the GBK text shows as "?"; empty
  // when the line converted whole.
  std::string notGbk;
};

// The one acceptance rule of a blacklist record, for the assistant and the
// central service alike. The separator is the tab when the line holds three
// tabs, else the space when it holds three spaces; fields after the fourth
// are ignored. The ID number is exactly 18 characters that CheckIdNumber
// passes against `today`; the name at least 2 bytes; the date a short date
// (IsShortDateText); the reason at least 4 bytes; no field holds a control
// byte (below 0x20 or 0x7F; a tab inside a space-separated field is allowed).
// The line is cut at every separator, so two side by side leave an empty
// field; the refusal says that two stand together.
RecordCheck CheckBlacklistRecord(std::string_view line, CalendarDate today);

// "#" + the name without its first two bytes (the family name), that rest
// padded with spaces to at least four bytes.
std::string MaskName(std::string_view name);

// Bytes of the UTF-8 character `lead` opens: 1 to 4; 0 for a byte that
// opens none (a continuation byte, 0xC0, 0xC1, 0xF8 and up).
std::size_t Utf8SequenceLength(unsigned char lead);

// The first character of a UTF-8 line that GBK cannot hold, or a byte that
// is not UTF-8, described for the operator; empty when the whole line
// converts to GBK and back unchanged.
std::string Utf8CharacterGbkLacks(std::string_view line);

// A line of a blacklist file as GBK: converted from UTF-8 when `utf8` says
// the file is UTF-8. A line with a NUL byte is left as it is, so the record
// rule refuses it for its control byte instead of the conversion cutting it
// short.
std::string LineAsGbk(std::string_view line, bool utf8);

// Longest line of a blacklist file taken as a record, in bytes as the file
// holds them. No record is that long; a longer line is refused without being
// held in memory.
inline constexpr std::size_t kMaxBlacklistLineBytes = 4096;

// Reads a blacklist file (the cafe's blacklist.txt or the operator's file the
// central service imports) line by line, the one way both sides read it: CR
// LF, LF or CR line ends, a UTF-8 byte-order mark taken as UTF-8, lines over
// kMaxBlacklistLineBytes refused, then CheckBlacklistRecord on the GBK text
// (a UTF-8 line's characters that GBK lacks are noted in RecordCheck::notGbk).
// The sink gets every line with its 1-based number.
class BlacklistFileReader {
 public:
  using Sink = std::function<void(int line, const RecordCheck& check)>;
  // utf8: the file is UTF-8 even without a byte-order mark.
  BlacklistFileReader(bool utf8, CalendarDate today, Sink sink);
  BlacklistFileReader(const BlacklistFileReader&) = delete;
  BlacklistFileReader& operator=(const BlacklistFileReader&) = delete;

  void Feed(std::string_view piece) { splitter_.Feed(piece); }
  void Finish() { splitter_.Finish(); }

 private:
  bool utf8_;
  CalendarDate today_;
  Sink sink_;
  int number_ = 0;
  LineSplitter splitter_;
};

// The entry line of an accepted local record: field 1, masked name, date and
// reason with its "|" as "_", joined by the record's separator.
std::string LocalEntry(const BlacklistRecord& record);

// One line of the local file as an entry line, or nothing when
// CheckBlacklistRecord does not accept it. The reason's "|" become "_".
std::optional<std::string> LocalRecordToEntry(std::string_view line, CalendarDate today);

// One line of the service's reply opened (key row 3, no UTF-8, Base64), or
// nothing when it does not open or holds fewer than three spaces.
std::optional<std::string> OpenServiceLine(std::string_view sealed);
