#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/file_chunks.h"

FileResult ReadFileChunks(const std::string& path, std::size_t chunkBytes,
                          const std::function<void(const void*, std::size_t)>& consume) {
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"), std::fclose);
  if (!file) return {false, static_cast<unsigned long>(errno), std::strerror(errno)};
  std::vector<unsigned char> chunk(chunkBytes);
  std::size_t n;
  while ((n = std::fread(chunk.data(), 1, chunk.size(), file.get())) > 0) consume(chunk.data(), n);
  if (std::ferror(file.get())) return {false, static_cast<unsigned long>(errno), std::strerror(errno)};
  return {};
}
