// Which parameters an operator may set. The assistant reads the four it
// knows as decimal numbers; values it would take to misbehave (a refresh of
// 0 minutes, a click mode it has no branch for) are refused here, where the
// operator sees the reason, rather than at the cafes.
#pragma once
#include <optional>
#include <string>

// Nothing when NAME=VALUE may be set, else the reason (for the operator).
std::optional<std::string> CheckParam(const std::string& name, const std::string& value);
