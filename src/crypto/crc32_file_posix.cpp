// Native stand-in of Crc32FileText, for the unit tests.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "crypto/crc32.h"

std::string Crc32FileText(const std::string& path) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return {};
  std::vector<unsigned char> chunk(64 * 1024);
  std::uint32_t crc = 0;
  bool readAll = true;
  for (;;) {
    ssize_t n = read(fd, chunk.data(), chunk.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) readAll = false;
    if (n <= 0) break;
    crc = Crc32(crc, chunk.data(), static_cast<std::size_t>(n));
  }
  close(fd);
  return readAll ? Crc32Text(crc) : std::string();
}
