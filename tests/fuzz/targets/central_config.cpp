// The service's configuration file, as an operator (or a hand that slipped)
// wrote it. Whatever it holds, a file taken gives a configuration the
// service can run on, and what `config` prints of it is a file taken again.
#include <string>

#include "central/config/central_config.h"
#include "fuzz_targets.h"

namespace {

bool IsTargetNameByte(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '-';
}

void CheckTargets(const CentralConfig& config) {
  for (const WebhookTarget& t : config.webhooks) {
    // The name labels /metrics lines and keys the store's counters unescaped.
    if (t.name.empty()) FuzzFail("a robot without a name");
    for (char c : t.name) {
      if (!IsTargetNameByte(c)) FuzzFail("a robot name with a byte /metrics would have to escape");
    }
    if (!ParseRobotUrl(t.url)) FuzzFail("a robot whose address cannot be posted to");
    if (t.perMinute < 1) FuzzFail("a robot pace the sender would divide by");
    if (t.digestMinute < -1 || t.digestMinute >= 24 * 60) FuzzFail("a digest time outside the day");
  }
}

}  // namespace

int FuzzCentralConfig(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const ConfigResult result = ParseCentralConfig(text);
  if (!result.config) {
    if (result.errors.empty()) FuzzFail("a file refused without a reason");
    return 0;
  }
  const CentralConfig& config = *result.config;
  CheckTargets(config);
  if (config.retentionDays < 1 || config.requestSeconds < 1 || config.maxWorkers < 1) {
    FuzzFail("a limit the service cannot run on");
  }
  (void)ServeKeyRefusals(config);
  // The robots' addresses and secrets are printed hidden: only the rest
  // must read back.
  if (config.webhooks.empty()) {
    const ConfigResult again = ParseCentralConfig(DescribeCentralConfig(config));
    if (!again.config) FuzzFail("what `config` prints is no configuration file");
  } else {
    (void)DescribeCentralConfig(config);
  }
  return 0;
}
