#include "central/params_rule.h"

#include "central/exchange.h"
#include "util/text.h"

namespace {

struct NumericParam {
  const char* name;
  int min;
  int max;
};

// The assistant's own names: face click delay (ms), click mode, refresh
// interval (minutes), CTID return delay (watch cycles).
constexpr NumericParam kNumeric[] = {
    {"delay", 0, 600000},
    {"clickmode", 0, 2},
    {"interval", 1, 7 * 24 * 60},
    {"ctidreturn", 0, 3600},
};

}  // namespace

std::optional<std::string> CheckParam(const std::string& name, const std::string& value) {
  if (name.empty() || name.size() > 32) return "a name has 1 to 32 characters";
  for (char c : name) {
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
    if (!plain) return "a name holds only letters, digits and _";
  }
  if (SameTextAscii(name, kReleaseIdentitiesName)) {
    return std::string(kReleaseIdentitiesName) + " comes from the releases (release add)";
  }
  // A line break would smuggle further names into the payload.
  if (value.find_first_of("\r\n") != std::string::npos) return "a value is one line";
  if (value.size() > 200) return "a value has at most 200 bytes";
  for (const NumericParam& p : kNumeric) {
    if (!SameTextAscii(name, p.name)) continue;
    const std::optional<int> n = ParseDecimal(value);
    if (!n || *n < p.min || *n > p.max) return Format("%s is a whole number from %d to %d", p.name, p.min, p.max);
  }
  return std::nullopt;
}
