// The real tollimer-central program as an operator runs it.
#pragma once
#include <string>

// Runs the program with `arguments` (shell words); its output and errors.
std::string RunCentral(const std::string& arguments);

// Runs the shell command line `command`; its output and errors.
std::string RunShell(const std::string& command);
