// Which parameters an operator may set: exactly the ones the assistant reads,
// each within the range the assistant keeps it in (RunParamRules). A value
// the assistant would change, or a name it would never read, is refused here,
// where the operator sees the reason, rather than ignored at the cafes.
#pragma once
#include <optional>
#include <string>

// Nothing when NAME=VALUE may be set, else the reason (for the operator).
std::optional<std::string> CheckParam(const std::string& name, const std::string& value);
