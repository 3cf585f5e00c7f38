// The few file operations the core needs, with the operating system's error
// code kept for the activity log.
#pragma once
#include <functional>
#include <string>
#include <string_view>

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

  // Reading a whole file piece by piece (the blacklist file): opens it shared
  // for reading, writing and deleting, hands its bytes to `sink` in order in
  // pieces of at most 64 KiB, closes it. A file that cannot be opened, or a
  // read that fails, ends with ok false; the pieces handed until then stay
  // handed.
  virtual FileResult ReadPieces(const std::string& path,
                                const std::function<void(std::string_view piece)>& sink) = 0;
};
