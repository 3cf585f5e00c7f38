// The simulator's command set: one command line in, one reply out ("ok[\t...]"
// or "err\t<reason>"). The table in commands.cpp lists every command.
#pragma once

#include <string>

std::string RunCommand(const std::string& line);
