// Picture folders in memory: files by full path, listed in the order they
// were added (a folder listing's order is the file system's, not sorted), and
// files that can be made unreadable as a locked file is.
#pragma once
#include <map>
#include <new>
#include <set>
#include <string>
#include <vector>

#include "platform/picture_files.h"

class FakePictureFiles : public PictureFiles {
 public:
  std::set<std::string> folders;  // with trailing backslash
  std::set<std::string> locked;   // paths whose open fails with a sharing violation
  std::map<std::string, std::string> written;  // every WriteAll, last content
  bool failWrites = false;
  bool outOfMemory = false;  // every read and write throws std::bad_alloc
  int listCalls = 0;

  void AddFolder(const std::string& folder) { folders.insert(folder); }
  void AddFile(const std::string& path, const std::string& bytes) {
    if (!files_.count(path)) order_.push_back(path);
    files_[path] = bytes;
  }
  void AddSubFolder(const std::string& path) {
    folders.insert(path + "\\");
    order_.push_back(path + "\\");
  }

  bool FolderExists(const std::string& path) override {
    return folders.count(path.empty() || path.back() == '\\' ? path : path + "\\") != 0;
  }
  bool FileExists(const std::string& path) override { return files_.count(path) != 0; }

  std::vector<FolderEntry> List(const std::string& pattern) override {
    ++listCalls;
    std::vector<FolderEntry> entries;
    const std::string folder = pattern.substr(0, pattern.rfind('\\') + 1);
    if (!folders.count(folder)) return entries;
    entries.push_back({".", true, 0});
    entries.push_back({"..", true, 0});
    for (const std::string& path : order_) {
      if (path.compare(0, folder.size(), folder) != 0) continue;
      std::string rest = path.substr(folder.size());
      const bool directory = !rest.empty() && rest.back() == '\\';
      if (directory) rest.pop_back();
      if (rest.empty() || rest.find('\\') != std::string::npos) continue;  // deeper down
      entries.push_back({rest, directory, directory ? 0 : files_[path].size()});
    }
    return entries;
  }

  FileResult ReadAll(const std::string& path, std::uint64_t maxBytes, std::string& bytes) override {
    bytes.clear();
    if (outOfMemory) throw std::bad_alloc();
    auto it = files_.find(path);
    if (it == files_.end()) return {false, 2, "The system cannot find the file specified."};
    if (locked.count(path)) {
      return {false, 32, "The process cannot access the file because it is being used by another process."};
    }
    if (it->second.size() > maxBytes) return {false, 0, "file too large"};
    bytes = it->second;
    return {};
  }

  FileResult WriteAll(const std::string& path, const std::string& bytes) override {
    if (failWrites) return {false, 5, "Access is denied."};
    if (outOfMemory) throw std::bad_alloc();
    written[path] = bytes;
    AddFile(path, bytes);
    return {};
  }

 private:
  std::map<std::string, std::string> files_;
  std::vector<std::string> order_;
};
