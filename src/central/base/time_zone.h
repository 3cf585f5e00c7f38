// Local time of a named zone for the operator's status page. GCC 12's
// standard library has no time-zone database, and setting TZ for the C
// library's localtime is process-wide and not safe while the service's
// threads run, so the zone is read here from the system's compiled zone
// files (TZif, /usr/share/zoneinfo, Debian's tzdata) into a plain value.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct CivilTime {
  int year = 1970, month = 1, day = 1;
  int hour = 0, minute = 0, second = 0;
};

// Gregorian calendar of days since 1970-01-01, both ways.
CivilTime CivilFromUnix(std::int64_t unixSeconds);
std::int64_t DaysFromCivil(int year, int month, int day);

// The daylight-saving rule of a zone's footer (the POSIX TZ text, such as
// "CET-1CEST,M3.5.0,M10.5.0/3"), for the years after its last listed change.
struct ZoneRule {
  int standardOffset = 0;  // seconds east of UTC
  int daylightOffset = 0;
  bool hasDaylight = false;
  // Month 1-12, week 1-5 (5: the last), weekday 0 (Sunday)-6, and the local
  // second of that day the change happens at.
  struct Change {
    int month = 0, week = 0, weekday = 0, second = 7200;
  } start, end;
};

// "CST-8", "<+08>-8", "EST5EDT,M3.2.0,M11.1.0": nothing for texts this
// reader does not take (day-of-year rules, broken numbers).
std::optional<ZoneRule> ParseZoneRule(std::string_view text);

class TimeZone {
 public:
  // Coordinated Universal Time, the fallback when a zone cannot be read.
  static TimeZone Utc();
  // The zone of a TZif file's bytes (versions 1 to 4); nothing when they are
  // not one or are inconsistent (counts past the end, unsorted changes,
  // offsets beyond a day, type indexes out of range).
  static std::optional<TimeZone> FromTzif(std::string_view bytes, const std::string& name);

  const std::string& Name() const { return name_; }
  // Seconds east of UTC in force at the Unix time.
  int OffsetAt(std::int64_t unixSeconds) const;
  CivilTime LocalAt(std::int64_t unixSeconds) const;
  // "YYYY-MM-DD HH:MM:SS" of the local time.
  std::string Text(std::int64_t unixSeconds) const;
  // Local days since 1970-01-01 of the Unix time (for per-day counts).
  std::int64_t LocalDay(std::int64_t unixSeconds) const;

 private:
  std::string name_;
  std::vector<std::int64_t> changes_;  // Unix seconds, ascending
  std::vector<int> offsets_;           // in force from changes_[i] on
  int firstOffset_ = 0;                // before the first change
  std::optional<ZoneRule> rule_;       // after the last change
};

// A zone name as the system's zone folder spells it: "Asia/Shanghai", "UTC",
// "America/Argentina/Buenos_Aires". No empty part, "..", or leading "/", so
// a configured name never reaches a file outside that folder.
bool IsZoneName(std::string_view name);

// Reads `folder`/`name`; nothing, with `error` filled, when it cannot be
// read or is not a zone file.
std::optional<TimeZone> LoadTimeZone(const std::string& name, std::string& error,
                                     const std::string& folder = "/usr/share/zoneinfo");
