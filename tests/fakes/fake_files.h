// In-memory files. Folders must be added before files can be created in them,
// like the real file system; a folder can be made read-only.
#pragma once
#include <map>
#include <set>
#include <string>

#include "platform/files.h"

class FakeFiles : public Files {
 public:
  std::map<std::string, std::string> files;
  std::set<std::string> folders;           // with trailing backslash
  std::set<std::string> readOnlyFolders;
  int appendCalls = 0;

  bool Exists(const std::string& path) override { return files.count(path) != 0; }
  bool Delete(const std::string& path) override { return files.erase(path) != 0; }

  FileResult Append(const std::string& path, const std::string& bytes) override {
    ++appendCalls;
    const std::string folder = path.substr(0, path.rfind('\\') + 1);
    if (!folders.count(folder)) return {false, 3, "The system cannot find the path specified."};
    if (readOnlyFolders.count(folder)) return {false, 5, "Access is denied."};
    files[path] += bytes;
    return {};
  }
};
