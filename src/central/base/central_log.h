// The service's own log: one timestamped line per event on standard error,
// where a service manager (systemd, a terminal) keeps it.
#pragma once
#include <string>

void CentralLog(const std::string& line);
