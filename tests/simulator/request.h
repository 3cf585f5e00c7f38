// One parsed command line: its fixed fields by position and its key=value
// options. Accessors turn fields into values or fail the command with a reason
// that goes back to the test as "err\t<reason>".
#pragma once

#include <windows.h>

#include <map>
#include <string>
#include <vector>

struct CommandFailure {
  std::string reason;
};
[[noreturn]] void Fail(const std::string& reason);

class Request {
 public:
  Request(std::vector<std::string> fields, std::map<std::string, std::string> options)
      : fields_(std::move(fields)), options_(std::move(options)) {}

  const std::string& Raw(size_t i) const { return fields_.at(i); }
  std::string Text(size_t i) const;        // UTF-8 field as GBK
  HWND Window(size_t i) const;             // an existing window
  HWND OwnWindow(size_t i) const;          // an existing window of the simulator
  HWND WindowOrDesktop(size_t i) const;    // as Window, or 0 for "the desktop"
  long long Number(size_t i) const;
  bool Flag(size_t i) const;               // "0" or "1"
  unsigned long long Param(size_t i) const;  // a message parameter, signed or unsigned

  bool Has(const std::string& key) const { return options_.count(key) != 0; }
  const std::string& Option(const std::string& key) const { return options_.at(key); }
  long long NumberOption(const std::string& key) const;
  bool FlagOption(const std::string& key) const;

 private:
  std::vector<std::string> fields_;
  std::map<std::string, std::string> options_;
};
