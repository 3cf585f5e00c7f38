#include "central/base/time_zone.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <vector>

#include "fakes/temp_dir.h"

namespace {

TimeZone SystemZone(const std::string& name) {
  std::string error;
  const std::optional<TimeZone> zone = LoadTimeZone(name, error);
  EXPECT_TRUE(zone) << error;
  return zone.value_or(TimeZone::Utc());
}

std::string FileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(TimeZone, LocalTimesOfTheSystemZones) {
  struct Case {
    const char* zone;
    std::int64_t unixSeconds;
    const char* local;
  } cases[] = {
      {"Asia/Shanghai", 1700000000, "2023-11-15 06:13:20"},  // 22:13:20 UTC the day before
      {"Asia/Shanghai", 1709744400, "2024-03-07 01:00:00"},
      {"Europe/Berlin", 1700000000, "2023-11-14 23:13:20"},  // winter: an hour ahead
      {"Europe/Berlin", 1719835200, "2024-07-01 14:00:00"},  // summer: two hours ahead
      {"Europe/Berlin", 1711846799, "2024-03-31 01:59:59"},  // the second before the clocks go forward
      {"Europe/Berlin", 1711846800, "2024-03-31 03:00:00"},
      // Beyond the listed changes: the daylight rule at the file's end.
      {"Europe/Berlin", 4118126400, "2100-07-01 14:00:00"},
      {"Europe/Berlin", 4109878799, "2100-03-28 01:59:59"},  // the rule's change: last Sunday of March
      {"Europe/Berlin", 4109878800, "2100-03-28 03:00:00"},
      {"Europe/Berlin", 4128627599, "2100-10-31 02:59:59"},  // and back on the last one of October
      {"Europe/Berlin", 4128627600, "2100-10-31 02:00:00"},
      {"Australia/Sydney", 4102444800, "2100-01-01 11:00:00"},  // southern summer
      {"UTC", 1700000000, "2023-11-14 22:13:20"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(SystemZone(c.zone).Text(c.unixSeconds), c.local) << c.zone << " " << c.unixSeconds;
  }
}

TEST(TimeZone, LocalDayTurnsAtLocalMidnight) {
  const TimeZone shanghai = SystemZone("Asia/Shanghai");
  // 2024-03-06 15:59:59 and 16:00:00 UTC: the same UTC day, two Beijing days.
  EXPECT_EQ(shanghai.LocalDay(1709740799) + 1, shanghai.LocalDay(1709740800));
  EXPECT_EQ(shanghai.LocalDay(1709740800), DaysFromCivil(2024, 3, 7));
}

TEST(TimeZone, DaylightRulesOfTheFilesEnd) {
  struct Case {
    const char* text;
    bool read;
    int standard, daylight;
  } cases[] = {
      {"CST-8", true, 8 * 3600, 8 * 3600},
      {"<+0530>-5:30", true, 19800, 19800},
      {"EST5EDT,M3.2.0,M11.1.0", true, -5 * 3600, -4 * 3600},
      {"<-03>3<-02>,M3.5.0/-2,M10.5.0/-1", true, -3 * 3600, -2 * 3600},
      {"CET-1CEST,M3.5.0,M10.5.0/3", true, 3600, 7200},
      {"", false, 0, 0},
      {"CS-8", false, 0, 0},                       // too short a name
      {"CST", false, 0, 0},                        // no offset
      {"CST-99", false, 0, 0},                     // beyond a day
      {"<+24>-24", true, 24 * 3600, 24 * 3600},    // the grammar's widest hour
      {"AEST-26AEDT,M10.1.0,M4.1.0/3", false, 0, 0},  // hours beyond 24
      {"XST-24:59:59XDT,M3.2.0,M11.1.0", true, 89999, 93599},
      {"EST5EDT-25,M3.2.0,M11.1.0", false, 0, 0},  // a daylight offset beyond 24 hours
      {"EST5EDT,J60,J300", false, 0, 0},           // day-of-year rules are not read
      {"EST5EDT,M13.2.0,M11.1.0", false, 0, 0},
      {"EST5EDT,M3.2.0", false, 0, 0},
      {"EST5EDT,M3.2.0,M11.1.0x", false, 0, 0},
  };
  for (const Case& c : cases) {
    const std::optional<ZoneRule> rule = ParseZoneRule(c.text);
    ASSERT_EQ(rule.has_value(), c.read) << c.text;
    if (!rule) continue;
    EXPECT_EQ(rule->standardOffset, c.standard) << c.text;
    EXPECT_EQ(rule->hasDaylight ? rule->daylightOffset : rule->standardOffset, c.daylight) << c.text;
  }
}

// A version 1 zone file: the changes (32-bit times), the type of each, and
// the offsets of the types.
std::string Tzif1(const std::vector<std::int32_t>& changes, const std::vector<std::uint8_t>& types,
                  const std::vector<std::int32_t>& offsets) {
  auto be32 = [](std::int32_t v) {
    const auto u = static_cast<std::uint32_t>(v);
    return std::string{static_cast<char>(u >> 24), static_cast<char>(u >> 16), static_cast<char>(u >> 8),
                       static_cast<char>(u)};
  };
  std::string f = "TZif" + std::string(16, '\0');
  for (std::size_t count : {std::size_t{0}, std::size_t{0}, std::size_t{0}, changes.size(), offsets.size(),
                            std::size_t{4}}) {
    f += be32(static_cast<std::int32_t>(count));
  }
  for (std::int32_t t : changes) f += be32(t);
  for (std::uint8_t t : types) f += static_cast<char>(t);
  for (std::int32_t o : offsets) f += be32(o) + std::string(2, '\0');
  return f + "XXX" + std::string(1, '\0');
}

TEST(TimeZone, AVersionOneFileWithoutRule) {
  const auto zone = TimeZone::FromTzif(Tzif1({1000, 2000}, {1, 0}, {3600, 7200}), "made");
  ASSERT_TRUE(zone);
  EXPECT_EQ(zone->OffsetAt(999), 3600);   // before the first change: the first type
  EXPECT_EQ(zone->OffsetAt(1000), 7200);
  EXPECT_EQ(zone->OffsetAt(1999), 7200);
  EXPECT_EQ(zone->OffsetAt(2000), 3600);  // the last change stays in force
  EXPECT_EQ(zone->OffsetAt(4000000000), 3600);
}

TEST(TimeZone, RefusesDamagedFiles) {
  const std::string berlin = FileBytes("/usr/share/zoneinfo/Europe/Berlin");
  ASSERT_GT(berlin.size(), 100u);
  ASSERT_TRUE(TimeZone::FromTzif(berlin, "Europe/Berlin"));
  const std::string damaged[] = {
      "",
      "TZif",
      berlin.substr(0, 44),
      berlin.substr(0, berlin.size() / 2),
      berlin.substr(0, berlin.size() - 1),  // the footer's closing line feed
      "XZif" + berlin.substr(4),
      Tzif1({2000, 1000}, {0, 0}, {3600}),          // changes out of order
      Tzif1({1000}, {1}, {3600}),                   // a type that is not there
      Tzif1({1000}, {0}, {27 * 3600}),              // an offset beyond a day
      Tzif1({}, {}, {}),                            // no type at all
      Tzif1({1000, 2000}, {0, 0}, {3600}).substr(0, 60),
  };
  for (const std::string& bytes : damaged) {
    EXPECT_FALSE(TimeZone::FromTzif(bytes, "x")) << bytes.size();
  }
}

TEST(TimeZone, NamesStayInsideTheZoneFolder) {
  struct Case {
    const char* name;
    bool plain;
  } cases[] = {
      {"Asia/Shanghai", true}, {"UTC", true}, {"America/Argentina/Buenos_Aires", true}, {"Etc/GMT-8", true},
      {"", false}, {"/etc/passwd", false}, {"../etc/passwd", false}, {"Asia/../../etc", false},
      {"Asia//Shanghai", false}, {"Asia/", false}, {"Asia Shanghai", false}, {"Asia\\Shanghai", false},
  };
  for (const Case& c : cases) EXPECT_EQ(IsZoneName(c.name), c.plain) << c.name;
}

TEST(TimeZone, LoadsOnlyZoneFiles) {
  TempDir dir("time_zone_load");
  { std::ofstream(dir.Path("Notes")) << "not a zone\n"; }
  std::string error;
  EXPECT_FALSE(LoadTimeZone("Notes", error, dir.Path("")));
  EXPECT_NE(error.find("not a zone file"), std::string::npos) << error;
  EXPECT_FALSE(LoadTimeZone("Missing/Zone", error, dir.Path("")));
  EXPECT_NE(error.find("cannot read"), std::string::npos) << error;
  EXPECT_FALSE(LoadTimeZone("../Notes", error, dir.Path("")));
}

}  // namespace
