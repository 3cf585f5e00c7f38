#include <cstdio>
#include <vector>

#include "platform/file_chunks.h"

bool ReadFileChunks(const std::string& path, std::size_t chunkBytes,
                    const std::function<void(const void*, std::size_t)>& consume) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return false;
  std::vector<unsigned char> chunk(chunkBytes);
  std::size_t n;
  while ((n = std::fread(chunk.data(), 1, chunk.size(), file)) > 0) consume(chunk.data(), n);
  const bool ok = std::ferror(file) == 0;
  std::fclose(file);
  return ok;
}
