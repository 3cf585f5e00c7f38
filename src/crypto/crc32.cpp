#include "crypto/crc32.h"

#include <array>
#include <cstdio>
#include <vector>

namespace {

constexpr std::array<std::uint32_t, 256> MakeTable() {
  std::array<std::uint32_t, 256> table{};
  for (std::uint32_t i = 0; i < 256; ++i) {
    std::uint32_t c = i;
    for (int k = 0; k < 8; ++k) c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    table[i] = c;
  }
  return table;
}

constexpr std::array<std::uint32_t, 256> kTable = MakeTable();

constexpr std::size_t kChunkBytes = 64 * 1024;

}  // namespace

std::uint32_t Crc32(std::uint32_t crc, const void* data, std::size_t size) {
  auto* bytes = static_cast<const std::uint8_t*>(data);
  crc = ~crc;
  for (std::size_t i = 0; i < size; ++i) crc = kTable[(crc ^ bytes[i]) & 0xFF] ^ (crc >> 8);
  return ~crc;
}

std::string Crc32FileText(const std::string& path) {
  // The path is GBK; the narrow fopen takes it in the ANSI code page. The
  // running executable opens fine this way: the loader shares it for reading.
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return {};
  std::vector<unsigned char> chunk(kChunkBytes);
  std::uint32_t crc = 0;
  std::size_t n;
  while ((n = std::fread(chunk.data(), 1, chunk.size(), file)) > 0) crc = Crc32(crc, chunk.data(), n);
  const bool readAll = std::ferror(file) == 0;
  std::fclose(file);
  if (!readAll || crc == 0) return {};
  char text[9];
  std::snprintf(text, sizeof text, "%08X", static_cast<unsigned>(crc));
  return text;
}
