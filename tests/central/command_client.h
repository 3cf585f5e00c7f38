// The real tollimer-central program as an operator runs it.
#pragma once
#include <string>

// Runs the program with `arguments` (shell words); its output and errors.
std::string RunCentral(const std::string& arguments);

// Runs the shell command line `command`; its output and errors.
std::string RunShell(const std::string& command);

struct CentralRun {
  int code = -1;       // the exit code; -1 when it did not end normally
  std::string output;  // its output and errors
};

// Runs the program with `arguments` (shell words) from the folder `cwd`
// under umask `mask`.
CentralRun RunCentralIn(const std::string& cwd, const std::string& arguments, int mask = 022);
