#include "central/chain_seed.h"

#include <algorithm>

#include "central/store/store.h"
#include "util/text.h"

namespace {

constexpr std::int64_t kMinute = 60, kHour = 3600, kDay = 86400;

// A small linear congruential generator: the same chain on every run.
class Dice {
 public:
  int Below(int n) {
    state_ = state_ * 6364136223846793005ULL + 1442695040888963407ULL;
    return static_cast<int>((state_ >> 33) % static_cast<unsigned>(n));
  }

 private:
  std::uint64_t state_ = 20240307;
};

const char* const kBrands[] = {"极速", "星空", "蓝海", "风云", "网鱼", "天际", "云端", "雷霆", "飞翔", "聚友"};

}  // namespace

bool SeedChain(CentralStore& store, std::int64_t now, int bars, ChainSeed& seeded) {
  seeded = {};
  Dice dice;
  const bool releases = store.AddRelease({kSeedOldX86, std::string(32, 'a'), 2400000, "x86"}, now - 40 * kDay) &&
                        store.AddRelease({kSeedCurrentX86, std::string(32, 'b'), 2410000, "x86"}, now - 9 * kDay) &&
                        store.AddRelease({kSeedCurrentX64, std::string(32, 'c'), 2650000, "x64"}, now - 9 * kDay);
  if (!releases || !store.SetParam("", "interval", "60") || !store.SetParam(kSeedSlowBar, "interval", "720")) {
    return false;
  }
  for (int b = 0; b < bars; ++b) {
    const std::string barId = std::to_string(3301 + b);
    const std::string barName = Format("%s网咖%d号店", kBrands[b % 10], b / 10 + 1);
    const int installs = 2 + dice.Below(5);
    for (int n = 0; n < installs; ++n) {
      InstallReport r;
      r.mac = Format("00-1A-2B-%02X-%02X-%02X", b, n, dice.Below(256));
      r.diskSerial = Format("WD-%04d%02d", 3301 + b, n);
      r.barId = barId;
      r.barName = barName;
      r.osVersion = "6.1.7601";
      r.featureBits = 63;
      r.monitors = 2;
      r.neighbours = 5 + dice.Below(60);
      const int build = dice.Below(10);
      r.versionCrc = build < 6 ? kSeedCurrentX86 : build < 8 ? kSeedCurrentX64 : kSeedOldX86;
      // Most report every hour; every seventh went quiet some hours or days
      // ago; the slow bar's first installation last reported five hours ago.
      std::int64_t lastSeen = now - dice.Below(50) * kMinute;
      if ((seeded.installations + 1) % 7 == 0) lastSeen = now - (3 + dice.Below(24 * 6)) * kHour;
      if (barId == kSeedSlowBar && n == 0) lastSeen = now - 5 * kHour;
      const std::int64_t firstSeen = std::min(lastSeen, now - (2 + dice.Below(40)) * kDay);
      r.clientTime = std::to_string(lastSeen);
      const std::string address = Format("113.%d.%d.%d", 60 + b / 100, b % 100, 10 + n);
      if (!store.RecordInstall(r, address, 1, firstSeen) || !store.RecordInstall(r, address, 2, lastSeen)) {
        return false;
      }
      ++seeded.installations;
    }
    ++seeded.bars;
  }
  // Days 0 to 28 back, any hour of each: thirty calendar days at most.
  for (int day = 0; day < 29; ++day) {
    const int count = dice.Below(9);
    for (int k = 0; k < count; ++k) {
      const int b = dice.Below(bars);
      HitReport hit;
      hit.idNumber = Format("1101011990%02d%02d%04d", 1 + dice.Below(12), 1 + dice.Below(28), dice.Below(10000));
      hit.mac = Format("00-1A-2B-%02X-00-%02X", b, dice.Below(256));
      hit.barId = std::to_string(3301 + b);
      hit.barName = Format("%s网咖%d号店", kBrands[b % 10], b / 10 + 1);
      const std::int64_t time = now - day * kDay - dice.Below(24 * 60) * kMinute;
      if (!store.RecordHit(hit, Format("113.%d.%d.10", 60 + b / 100, b % 100), time)) return false;
      ++seeded.hits;
    }
  }
  return true;
}
