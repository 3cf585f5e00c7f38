// In-memory files. Folders must be added before files can be created in them,
// like the real file system; a folder can be made read-only.
#pragma once
#include <algorithm>
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

  // Reading in pieces (the blacklist file): pieces of `pieceSize` bytes; a
  // path in `lockedFiles` cannot be opened; `failReadAfter` >= 0 fails the
  // read after that many bytes, as a file that vanishes mid-read.
  std::set<std::string> lockedFiles;
  std::size_t pieceSize = 64 * 1024;
  long long failReadAfter = -1;
  FileResult ReadPieces(const std::string& path,
                        const std::function<void(std::string_view piece)>& sink) override {
    if (lockedFiles.count(path)) {
      return {false, 32, "The process cannot access the file because it is being used by another process."};
    }
    auto it = files.find(path);
    if (it == files.end()) return {false, 2, "The system cannot find the file specified."};
    const std::string& bytes = it->second;
    for (std::size_t at = 0; at < bytes.size(); at += pieceSize) {
      std::size_t n = std::min(pieceSize, bytes.size() - at);
      if (failReadAfter >= 0 && at + n > static_cast<std::size_t>(failReadAfter)) {
        n = static_cast<std::size_t>(failReadAfter) - std::min(at, static_cast<std::size_t>(failReadAfter));
        if (n > 0) sink(std::string_view(bytes).substr(at, n));
        return {false, 38, "Reached the end of the file."};
      }
      sink(std::string_view(bytes).substr(at, n));
    }
    return {};
  }
};
