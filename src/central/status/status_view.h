// What the operator's status page shows, worked out from the store's rows,
// the time and the zone alone: which installations went silent, which bars
// run old builds, where listed people came in, and the daily counts of the
// last month. No clock and no store inside, so every figure is tested from
// literal rows.
#pragma once
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "central/store/store.h"
#include "central/base/time_zone.h"

inline constexpr int kChartDays = 30;     // the charts' days, today included
inline constexpr int kHitTableDays = 7;   // the hit table and the bars' hit counts
// Rows of the hit table at most, the newest: hits come without
// authentication, and the page must stay a page however many come.
inline constexpr std::size_t kHitRowsShown = 500;

// The rows a page is made from.
struct StatusInput {
  std::vector<InstallRow> installs;
  std::vector<ReleaseRow> releases;
  std::set<std::string> signedReleases;        // checksums of the releases with a statement
  std::map<std::string, ParamList> barParams;  // bar id -> the parameters that bar gets
  std::vector<StatusHit> hits;                 // at least the charts' days, newest first
  std::vector<StatusNotice> notices;           // newest first
  std::vector<OutboxTargetState> outbox;       // the robots' queue, by target
  std::int64_t uptimeSeconds = 0;
};

// Reads the rows of the page as of `now` through the store's listings (the
// parameters through the same lookup the exchange answers with).
StatusInput ReadStatusInput(CentralStore& store, std::int64_t now, std::int64_t uptimeSeconds);

// Minutes between an installation's exchanges when its bar gets `params`:
// the refresh interval as the assistant takes it from the reply (its default
// when the value is missing or not a number, and brought into its range).
int RefreshMinutes(const ParamList& params);

struct CurrentRelease {
  std::string machine, crc;
  int installations = 0;  // that run it
  bool isSigned = false;  // served with a statement
};

struct SilentInstall {
  std::string barId, barName, address, versionCrc;
  std::int64_t lastSeen = 0;
  int refreshMinutes = 0;
};

struct BarVersion {
  std::string crc;
  int installations = 0;
  bool current = false;  // a current release of some processor
  bool known = false;    // a release the operator added at some time
};

struct BarRow {
  std::string barId, barName;  // the name its most recently seen installation reports
  int installations = 0;
  std::vector<BarVersion> versions;  // most installations first
  std::int64_t lastSeen = 0;
  int recentHits = 0;  // in the last kHitTableDays days
};

struct DayCount {
  std::int64_t day = 0;  // local days since 1970-01-01
  int count = 0;
};

struct StatusView {
  int installations = 0;
  int seenLastDay = 0;
  int bars = 0;
  std::vector<CurrentRelease> currentReleases;  // by processor
  int hitsToday = 0;  // since local midnight
  int recentHits = 0;
  std::int64_t uptimeSeconds = 0;
  // Not seen for more than twice their refresh interval, the most recently
  // seen first: the ones that went quiet last lead the list.
  std::vector<SilentInstall> silent;
  std::vector<BarRow> barRows;       // by bar id
  std::vector<StatusHit> recentHitRows;  // the last kHitTableDays days, newest first, at most kHitRowsShown
  std::vector<DayCount> hitsPerDay;      // kChartDays days, oldest first, today last
  // Per day, the installations first seen on or before it and last seen on or
  // after it: the store keeps only the first and the last contact, and an
  // assistant reports every refresh interval while it runs, so these are the
  // installations that were in service that day.
  std::vector<DayCount> inServicePerDay;
  std::vector<StatusNotice> notices;
};

StatusView BuildStatusView(const StatusInput& input, std::int64_t now, const TimeZone& zone);
