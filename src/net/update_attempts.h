// When the assistant may try an update again. Whoever answers the exchange
// chooses what is announced and how often the exchange repeats, so neither
// may make the assistant download again and again:
// - attempts come no more often than a floor no reply can lower;
// - a release refused (bad statement, a file that is not the one stated) is
//   not tried again before a back-off that doubles from the refresh interval
//   with every refusal of it, up to a day;
// - a release that was swapped in but did not come up is never tried again
//   while this process runs.
// Times are milliseconds of a steady clock.
#pragma once
#include <cstddef>
#include <cstdint>
#include <map>
#include <set>
#include <string>

class UpdateAttempts {
 public:
  static constexpr std::int64_t kFloorMs = 10LL * 60 * 1000;
  static constexpr std::int64_t kMaxBackoffMs = 24LL * 60 * 60 * 1000;
  static constexpr std::size_t kMaxRemembered = 64;

  // Whether an attempt at the release known as `identity` may start at `now`.
  bool MayTry(const std::string& identity, std::int64_t now) const;
  // An attempt starts (the floor counts from here).
  void Started(std::int64_t now);
  // The release was refused; `refreshMs` is the exchange's interval then.
  // Returns the back-off now in force for it.
  std::int64_t Refused(const std::string& identity, std::int64_t now, std::int64_t refreshMs);
  // The release was swapped in and did not come up.
  void FailedToStart(const std::string& identity) { neverAgain_.insert(identity); }

 private:
  struct Refusal {
    std::int64_t until = 0;
    std::int64_t backoffMs = 0;
  };
  bool started_ = false;
  std::int64_t lastStart_ = 0;
  std::map<std::string, Refusal> refused_;
  std::set<std::string> neverAgain_;
};
