#include "central/command_client.h"

#include <cstdio>

std::string RunCentral(const std::string& arguments) {
  return RunShell(std::string(TOLLIMER_CENTRAL_EXE) + " " + arguments);
}

std::string RunShell(const std::string& command) {
  std::string out;
  if (FILE* pipe = popen(("{ " + command + "; } 2>&1").c_str(), "r")) {
    char buffer[4096];
    std::size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
    pclose(pipe);
  }
  return out;
}
