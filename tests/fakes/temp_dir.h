// A scratch folder for tests that need real files, removed with everything in
// it when the test ends.
#pragma once
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

class TempDir {
 public:
  explicit TempDir(const std::string& name) {
    path_ = std::filesystem::temp_directory_path() / (name + "_" + std::to_string(getpid()));
    std::filesystem::create_directories(path_);
  }
  ~TempDir() { std::filesystem::remove_all(path_); }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  // Writes `bytes` to a file of that name in the folder; returns its path.
  std::string Write(const std::string& name, const std::string& bytes) const {
    std::string file = Path(name);
    std::ofstream(file, std::ios::binary) << bytes;
    return file;
  }
  std::string Path(const std::string& name) const { return (path_ / name).string(); }
  std::string Dir() const { return path_.string(); }

 private:
  std::filesystem::path path_;
};
