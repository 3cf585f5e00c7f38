#include "central/exchange/params_rule.h"

#include "central/exchange/exchange.h"
#include "settings/run_params.h"
#include "util/text.h"

namespace {

std::string KnownNames() {
  std::string names;
  for (const RunParamRule& rule : RunParamRules()) names += (names.empty() ? "" : ", ") + rule.key;
  return names;
}

}  // namespace

std::optional<std::string> CheckParam(const std::string& name, const std::string& value) {
  if (SameTextAscii(name, kReleaseIdentitiesName)) {
    return std::string(kReleaseIdentitiesName) + " comes from the releases (release add)";
  }
  // Names are matched exactly, so a bar never gets two spellings of one
  // parameter of which the assistant would take only the first.
  const RunParamRule* rule = FindRunParamRule(name);
  if (!rule) return "unknown parameter " + name + "; the assistant reads " + KnownNames();
  const std::optional<int> n = ParseDecimal(value);
  if (!n || *n < rule->min || *n > rule->max) {
    return Format("%s is a whole number from %d to %d", name.c_str(), rule->min, rule->max) +
           (*rule->unit ? std::string(" (") + rule->unit + ")" : std::string());
  }
  return std::nullopt;
}
