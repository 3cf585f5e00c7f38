#include "central/command_client.h"

#include <sys/wait.h>

#include <cstdio>

namespace {

// Runs a shell command line; its output and exit code.
CentralRun RunLine(const std::string& line) {
  CentralRun run;
  if (FILE* pipe = popen(line.c_str(), "r")) {
    char buffer[4096];
    std::size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) run.output.append(buffer, n);
    const int status = pclose(pipe);
    if (status != -1 && WIFEXITED(status)) run.code = WEXITSTATUS(status);
  }
  return run;
}

}  // namespace

CentralRun RunCentralIn(const std::string& cwd, const std::string& arguments, int mask) {
  char umaskWord[8];
  std::snprintf(umaskWord, sizeof umaskWord, "%03o", mask);
  return RunLine("cd '" + cwd + "' && umask " + umaskWord + " && " + TOLLIMER_CENTRAL_EXE + " " + arguments + " 2>&1");
}

std::string RunCentral(const std::string& arguments) { return RunCentralIn(".", arguments).output; }

std::string RunShell(const std::string& command) { return RunLine("{ " + command + "; } 2>&1").output; }
