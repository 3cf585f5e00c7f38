// Files as the wallpaper carousel needs them: folder listings and whole-file
// reads and writes on GBK paths. Implemented over the ANSI file calls
// (picture_files_win.cpp) and in memory in the tests.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/files.h"

struct FolderEntry {
  std::string name;  // file name without folder, GBK
  bool directory = false;
  std::uint64_t size = 0;  // bytes
};

class PictureFiles {
 public:
  virtual ~PictureFiles() = default;
  virtual bool FolderExists(const std::string& path) = 0;
  virtual bool FileExists(const std::string& path) = 0;
  // Every entry matching `pattern` (a folder followed by "*.*"), whatever its
  // attributes (hidden, system, read-only, directories); "." and ".." too.
  virtual std::vector<FolderEntry> List(const std::string& pattern) = 0;
  // The whole file into `bytes`; fails without reading when the file is
  // larger than `maxBytes`, and when it cannot be opened (missing, locked).
  [[nodiscard]] virtual FileResult ReadAll(const std::string& path, std::uint64_t maxBytes,
                                           std::string& bytes) = 0;
  // Creates or replaces the file with `bytes`.
  [[nodiscard]] virtual FileResult WriteAll(const std::string& path, const std::string& bytes) = 0;
};

// The Win32 files; exists in the Windows tree only.
std::unique_ptr<PictureFiles> MakeWin32PictureFiles();
