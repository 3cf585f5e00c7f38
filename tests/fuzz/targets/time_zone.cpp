// The zone reader of the status page: a system zone file (TZif) and the
// daylight rule text at its end. A zone file is outside data too: a damaged
// or foreign file under /usr/share/zoneinfo must give no zone, not a crash.
#include <cstdint>
#include <limits>
#include <string_view>

#include "central/base/time_zone.h"
#include "fuzz_targets.h"

namespace {

void CheckOffset(int offset) {
  if (offset > 26 * 3600 || offset < -26 * 3600) FuzzFail("an offset beyond a day");
}

}  // namespace

int FuzzTimeZone(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  if (const auto rule = ParseZoneRule(bytes)) {
    CheckOffset(rule->standardOffset);
    CheckOffset(rule->daylightOffset);
  }
  const auto zone = TimeZone::FromTzif(bytes, "fuzz");
  if (!zone) return 0;
  constexpr std::int64_t kTimes[] = {std::numeric_limits<std::int64_t>::min(), -4102444800, -1, 0, 1700000000,
                                     1711846800, 4102444800, std::numeric_limits<std::int64_t>::max()};
  for (std::int64_t t : kTimes) {
    CheckOffset(zone->OffsetAt(t));
    const CivilTime c = zone->LocalAt(t);
    if (c.month < 1 || c.month > 12 || c.day < 1 || c.day > 31 || c.hour > 23 || c.minute > 59) {
      FuzzFail("a local time off the calendar");
    }
    zone->Text(t);
    zone->LocalDay(t);
  }
  return 0;
}
