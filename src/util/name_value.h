// name=value lines, the form of the parameter exchange's texts in both
// directions: the assistant's report and the central service's payload.
#pragma once
#include <string>
#include <string_view>
#include <vector>

// The values of every line (split at CR, LF or CR LF) whose name, the text
// before its first "=", equals `name` without regard to ASCII case; in line
// order, empty when no line has that name.
std::vector<std::string> NameValues(std::string_view text, std::string_view name);
