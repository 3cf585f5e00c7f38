// The few file operations the core needs, with the operating system's error
// code kept for the activity log.
#pragma once
#include <string>

struct FileResult {
  bool ok = true;
  unsigned long lastError = 0;  // the operating system's last-error code
  std::string message;          // its text, in the ANSI code page
};

class Files {
 public:
  virtual ~Files() = default;
  virtual bool Exists(const std::string& path) = 0;
  virtual bool Delete(const std::string& path) = 0;
  // Opens the file for appending (creating it when missing, never its folder),
  // shared for reading only, writes `bytes`, closes it.
  virtual FileResult Append(const std::string& path, const std::string& bytes) = 0;
};
