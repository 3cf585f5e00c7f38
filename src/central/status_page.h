// The operator's read-only status page: installations seen, versions in use,
// recent hits and notices. Plain HTML; every value from the field is escaped,
// since bar names, IDs and notices are text anyone on a cafe's network can send.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

struct StatusVersion {
  std::string crc;
  std::string machine;  // of a known release; empty for an unknown build
  bool current = false;
  int installations = 0;
};

struct StatusHit {
  std::int64_t time = 0;  // Unix seconds
  std::string idNumber, mac, barId, barName, address;
};

struct StatusNotice {
  std::int64_t time = 0;
  std::string address, text;
};

struct StatusData {
  int installations = 0;
  int seenLastDay = 0;
  int bars = 0;
  int blacklistEntries = 0;
  int hitDays = 7;
  std::vector<StatusVersion> versions;
  std::vector<StatusHit> hits;        // of the last hitDays days, newest first
  std::vector<StatusNotice> notices;  // newest first
};

// &, <, >, " and ' as entities.
std::string HtmlEscape(const std::string& text);

// The page, UTF-8. `now` is in Unix seconds, shown as UTC.
std::string RenderStatusPage(const StatusData& data, std::int64_t now);

// "YYYY-MM-DD HH:MM:SS" (UTC) of Unix seconds.
std::string UtcText(std::int64_t unixSeconds);
