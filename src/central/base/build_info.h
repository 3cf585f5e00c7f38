// Which build of the service runs: its version and the library versions it
// runs with, for `tollimer-central --version` and the build-info metric a
// dashboard joins its other series on (which version answered, since when).
#pragma once
#include <string>

struct BuildInfo {
  std::string version;  // the package's version, "1.0.0.1"
  std::string sqlite;   // the SQLite library loaded, "3.40.1"
  std::string openssl;  // the OpenSSL library loaded, "3.0.11"
  std::string compiler;
};

BuildInfo CentralBuildInfo();

// "tollimer-central 1.0.0.1 (SQLite 3.40.1, OpenSSL 3.0.11, GCC 12.2.0)".
std::string BuildInfoText(const BuildInfo& build);
