// INI files as the core needs them: one text value per file, section and key.
// Implemented over the Windows profile calls (platform/ini_file_win.cpp) and by
// a fake in the tests. Whether a file exists is asked through Files::Exists.
#pragma once
#include <memory>
#include <string>

class IniFile {
 public:
  virtual ~IniFile() = default;

  // The value of `key` in `section` of `file`; `defaultValue` when the file,
  // section or key is missing.
  virtual std::string ReadString(const std::string& file, const std::string& section,
                                 const std::string& key, const std::string& defaultValue) = 0;

  // Sets `key` in `section` of `file` (the profile calls create a missing
  // file, so callers that must not create one check Files::Exists first);
  // true when the write succeeded, false for a read-only file or folder.
  [[nodiscard]] virtual bool WriteString(const std::string& file, const std::string& section,
                                         const std::string& key, const std::string& value) = 0;
};

// The profile-call implementation; exists in the Windows tree only. A file
// name without a folder is taken relative to the current directory, like every
// other file the program opens, not from the Windows folder where the profile
// calls would otherwise look.
std::unique_ptr<IniFile> MakeWin32IniFile();
