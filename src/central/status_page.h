// The operator's read-only status page, in Simplified Chinese with times in
// the chain's zone: the summary, silent installations, the bars, recent hits
// and two charts of the last month (inline SVG: no script, nothing fetched).
// Plain HTML; every value from the field is escaped, since bar names, IDs and
// notices are text anyone on a cafe's network can send.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

struct StatusHit {
  std::int64_t time = 0;  // Unix seconds
  std::string idNumber, mac, barId, barName, address;
  std::int64_t seq = 0;  // the store's order of arrival
};

struct StatusNotice {
  std::int64_t time = 0;
  std::string address, text;
};

// &, <, >, " and ' as entities.
std::string HtmlEscape(const std::string& text);

struct StatusInput;
class TimeZone;

// The page, UTF-8, of the rows as of `now` (Unix seconds) in `zone`.
std::string RenderStatusPage(const StatusInput& input, std::int64_t now, const TimeZone& zone);

// "YYYY-MM-DD HH:MM:SS" (UTC) of Unix seconds.
std::string UtcText(std::int64_t unixSeconds);
