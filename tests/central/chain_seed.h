// A cafe chain's month in the store, for the status page's tests and the
// demo: bars with their installations (most current, some on an old build,
// a few gone quiet), releases, the refresh parameters, and blacklist hits
// spread over the last 30 days. The same numbers every time.
#pragma once
#include <cstdint>

class CentralStore;

struct ChainSeed {
  int bars = 0;
  int installations = 0;
  int hits = 0;
};

inline constexpr const char* kSeedOldX86 = "1A2B3C4D";
inline constexpr const char* kSeedCurrentX86 = "5E6F7A8B";
inline constexpr const char* kSeedCurrentX64 = "9C0D1E2F";
// This bar's installations refresh every 720 minutes: one seen five hours
// ago is not silent there, where it would be elsewhere (60 minutes).
inline constexpr const char* kSeedSlowBar = "3307";

// Fills the store as of `now` (Unix seconds); false when the store refused.
[[nodiscard]] bool SeedChain(CentralStore& store, std::int64_t now, int bars, ChainSeed& seeded);
