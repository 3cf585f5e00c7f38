#include "settings/autorun.h"

#include "platform/registry.h"
#include "util/literal_table.h"
#include "util/text.h"

namespace {

bool WriteAutorunValue(Registry& registry, const std::string& text) {
  return registry.WriteString(RegistryRoot::CurrentUser, Literal(lit::kAutorunKeyPath),
                              Literal(lit::kAutorunValue), text);
}

}  // namespace

bool IsAutorunOn(Registry& registry, const std::string& exePath) {
  const std::string value = registry.ReadString(RegistryRoot::CurrentUser, Literal(lit::kAutorunKeyPath),
                                                Literal(lit::kAutorunValue), "");
  return SameTextAscii(value, exePath);
}

bool Orv_AutorunClick(Registry& registry, const std::string& exePath, bool checked,
                      const std::function<bool()>& confirmSwitchOff) {
  if (!checked) return WriteAutorunValue(registry, exePath);
  if (!confirmSwitchOff()) return true;
  return !WriteAutorunValue(registry, ";" + exePath);
}
