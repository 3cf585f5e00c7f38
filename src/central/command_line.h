// The operator's command line of tollimer-central, checked against a table of
// commands: each command names its words ("blacklist import"), how many
// operands it takes and which options; options may stand anywhere on the
// line. An option the command does not take, a missing value or a wrong
// number of operands is refused, so a typo never runs a command with its
// defaults.
#pragma once
#include <map>
#include <optional>
#include <string>
#include <vector>

// Options every command takes.
inline constexpr const char* kConfigOption = "--config";
inline constexpr const char* kDataOption = "--data";

struct CommandShape {
  const char* words;                 // "blacklist import"
  int operands = 0;                  // plain words after them
  std::vector<std::string> options;  // "--days=" takes a value, "--json" does not
  const char* usage = "";            // the operands and options as the usage shows them
};

struct ParsedLine {
  int command = -1;                                // index into the table; -1: none (see help, error)
  std::vector<std::string> operands;
  std::map<std::string, std::string> options;      // the command's and --config, --data; flags map to "1"
  bool help = false;                               // "help", "--help" or "-h" anywhere
  bool version = false;                            // "--version" anywhere
  std::string error;                               // why the line was refused
};

// Reads `arguments` (argv without the program's name). "--name=value" and
// "--name value" both give a value; after "--" every word is an operand.
ParsedLine ParseCommandLine(const std::vector<CommandShape>& table, const std::vector<std::string>& arguments);

// The usage text: one line per command, with the common options.
std::string CommandUsage(const std::vector<CommandShape>& table);
