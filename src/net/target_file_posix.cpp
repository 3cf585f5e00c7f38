// Native stand-in of the destination file, for the unit tests.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "net/target_file.h"

namespace {

class PosixTargetFile : public TargetFile {
 public:
  explicit PosixTargetFile(int fd) : fd_(fd) {}
  ~PosixTargetFile() override {
    if (fd_ >= 0) close(fd_);
  }
  bool Write(const char* data, std::size_t size) override {
    while (size > 0) {
      ssize_t n = write(fd_, data, size);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return false;
      data += n;
      size -= static_cast<std::size_t>(n);
    }
    return true;
  }
  bool Close() override {
    int fd = fd_;
    fd_ = -1;
    const bool flushed = fsync(fd) == 0;
    return close(fd) == 0 && flushed;
  }

 private:
  int fd_;
};

}  // namespace

bool TargetFileExists(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && !S_ISDIR(info.st_mode);
}

std::unique_ptr<TargetFile> CreateTargetFile(const std::string& path) {
  for (const std::string& folder : FoldersLeadingTo(path, false)) mkdir(folder.c_str(), 0755);
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return nullptr;
  return std::make_unique<PosixTargetFile>(fd);
}

std::unique_ptr<TargetFile> OpenTargetFileAtEnd(const std::string& path, long long* size) {
  int fd = open(path.c_str(), O_WRONLY | O_CLOEXEC);
  if (fd < 0) return nullptr;
  auto target = std::make_unique<PosixTargetFile>(fd);
  off_t end = lseek(fd, 0, SEEK_END);
  if (end < 0) return nullptr;
  *size = static_cast<long long>(end);
  return target;
}
