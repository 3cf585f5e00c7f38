#include "crypto/crc32.h"

#include <array>
#include <cstdio>

#include "platform/file_chunks.h"

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
  std::uint32_t crc = 0;
  const bool readAll = ReadFileChunks(path, kChunkBytes, [&crc](const void* data, std::size_t n) {
                          crc = Crc32(crc, data, n);
                        }).ok;
  if (!readAll || crc == 0) return {};
  char text[9];
  std::snprintf(text, sizeof text, "%08X", static_cast<unsigned>(crc));
  return text;
}
