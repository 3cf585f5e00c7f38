// The operator's read-only status page, in Simplified Chinese with times in
// the chain's zone: the summary, silent installations, the bars, recent hits
// and two charts of the last month (inline SVG: no script, nothing fetched).
// Plain HTML; every value from the field is escaped, since bar names, IDs and
// notices are text anyone on a cafe's network can send.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "central/store/records.h"

// &, <, >, " and ' as entities.
std::string HtmlEscape(const std::string& text);

struct StatusInput;
class TimeZone;

// The page, UTF-8, of the rows as of `now` (Unix seconds) in `zone`.
std::string RenderStatusPage(const StatusInput& input, std::int64_t now, const TimeZone& zone);
