// Native stand-in for MD5_File. It reads the file in chunks instead of mapping
// it: a POSIX file may be shortened by another writer while it is mapped, and
// touching the vanished pages would kill the process (SIGBUS); Windows refuses
// to shorten a mapped file, so its half can map.
#include "crypto/md5.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

namespace {

constexpr std::size_t kChunkBytes = 1u << 20;

// Feeds the whole file to `context`; false when it cannot be opened or read.
bool DigestFile(const std::string& path, TMD5Context& context) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
  std::vector<unsigned char> chunk(kChunkBytes);
  bool ok = true;
  for (;;) {
    ssize_t n = read(fd, chunk.data(), chunk.size());
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      ok = false;
      break;
    }
    context.Update(chunk.data(), static_cast<std::size_t>(n));
  }
  close(fd);
  return ok;
}

}  // namespace

std::string MD5_File(const std::string& path) {
  TMD5Context context;
  if (!DigestFile(path, context)) return MD5_Text("");
  return MD5_Hex(context.Final());
}
