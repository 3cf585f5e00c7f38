#include "central/release_file.h"

#include <cstdio>
#include <fstream>

#include "central/central_config.h"
#include "central/store.h"
#include "crypto/crc32.h"
#include "crypto/md5.h"
#include "util/text.h"

namespace {

std::uint32_t Read32(const std::string& b, std::size_t at) {
  return static_cast<std::uint32_t>(static_cast<unsigned char>(b[at])) |
         static_cast<std::uint32_t>(static_cast<unsigned char>(b[at + 1])) << 8 |
         static_cast<std::uint32_t>(static_cast<unsigned char>(b[at + 2])) << 16 |
         static_cast<std::uint32_t>(static_cast<unsigned char>(b[at + 3])) << 24;
}

}  // namespace

std::optional<ReleaseInfo> DescribeRelease(const std::string& bytes) {
  if (bytes.size() < 0x40 || bytes[0] != 'M' || bytes[1] != 'Z') return std::nullopt;
  const std::uint32_t pe = Read32(bytes, 0x3C);
  if (pe > bytes.size() || bytes.size() - pe < 6 || bytes.compare(pe, 4, std::string("PE\0\0", 4)) != 0) {
    return std::nullopt;
  }
  const unsigned machine = static_cast<unsigned char>(bytes[pe + 4]) |
                           static_cast<unsigned>(static_cast<unsigned char>(bytes[pe + 5])) << 8;
  const std::uint32_t crc = Crc32(0, bytes.data(), bytes.size());
  // A CRC of 0 is the assistant's "no checksum"; such a release could never
  // be recognised as current.
  if (crc == 0) return std::nullopt;
  ReleaseInfo info;
  info.crc = Format("%08X", static_cast<unsigned>(crc));
  info.md5 = MD5_Hex(MD5_Digest(bytes.data(), bytes.size()));
  info.size = static_cast<std::int64_t>(bytes.size());
  info.machine = machine == 0x14C ? "x86" : machine == 0x8664 ? "x64" : "other";
  return info;
}

std::optional<ReleaseInfo> AddReleaseFile(const CentralConfig& config, CentralStore& store,
                                          const std::string& bytes, std::int64_t now, std::string& error) {
  const std::optional<ReleaseInfo> info = DescribeRelease(bytes);
  if (!info) {
    error = "not a Windows executable";
    return std::nullopt;
  }
  const std::string target = config.dataDir + "/releases/" + info->crc + ".bin";
  const std::string temporary = target + ".tmp";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out.flush()) {
      error = "cannot write " + temporary;
      return std::nullopt;
    }
  }
  if (std::rename(temporary.c_str(), target.c_str()) != 0) {
    error = "cannot write " + target;
    return std::nullopt;
  }
  if (!store.AddRelease(*info, now)) {
    error = "the store refused the release";
    return std::nullopt;
  }
  return info;
}
