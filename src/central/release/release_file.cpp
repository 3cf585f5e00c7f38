#include "central/release/release_file.h"

#include <cerrno>
#include <cstdio>
#include <fstream>

#include <unistd.h>

#include "central/config/central_config.h"
#include "central/release/release_key.h"
#include "central/store/store.h"
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

// Written beside its final name and renamed: never seen half written.
bool WriteWhole(const std::string& path, const std::string& bytes, std::string& error) {
  const std::string temporary = path + ".tmp";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out.flush()) {
      error = "cannot write " + temporary;
      return false;
    }
  }
  if (std::rename(temporary.c_str(), path.c_str()) != 0) {
    error = "cannot write " + path;
    return false;
  }
  return true;
}

// FILEVERSION of the version resource: the fixed file information starts
// with its signature 0xFEEF04BD and structure version 1.0, then the version's
// high and low double words.
ReleaseNumber VersionResourceNumber(const std::string& bytes) {
  static const std::string kSignature("\xBD\x04\xEF\xFE\x00\x00\x01\x00", 8);
  const std::size_t at = bytes.find(kSignature);
  if (at == std::string::npos || bytes.size() - at < 16) return 0;
  const std::uint32_t high = Read32(bytes, at + 8);
  const std::uint32_t low = Read32(bytes, at + 12);
  return static_cast<ReleaseNumber>(high) << 32 | low;
}

Sha256Digest Sha256Of(const std::string& bytes) {
  Sha256Hasher hasher;
  hasher.Update(bytes.data(), bytes.size());
  return hasher.Finish().value_or(Sha256Digest{});
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
  info.number = VersionResourceNumber(bytes);
  return info;
}

std::string ReleaseFilePath(const CentralConfig& config, const std::string& crc) {
  return config.dataDir + "/releases/" + crc + ".bin";
}

std::string SignatureFilePath(const CentralConfig& config, const std::string& crc) {
  return config.dataDir + "/releases/" + crc + ".sig";
}

std::optional<ReleaseStatement> StatementOfRelease(const std::string& bytes, std::string& error) {
  const std::optional<ReleaseInfo> info = DescribeRelease(bytes);
  if (!info) {
    error = "not a Windows executable";
  } else if (info->machine == "other") {
    error = "built for a processor the assistant does not run on";
  } else if (info->number == 0) {
    error = "no version resource: no release number to state";
  } else {
    return ReleaseStatement{info->number, info->machine, Sha256Of(bytes)};
  }
  return std::nullopt;
}

std::optional<std::string> SignRelease(const std::string& bytes, const ReleaseSigner& signer, std::string& error) {
  const std::optional<ReleaseStatement> statement = StatementOfRelease(bytes, error);
  if (!statement) return std::nullopt;
  const std::optional<ReleaseSignature> signature = signer.Sign(ReleaseStatementText(*statement));
  if (!signature) {
    error = "cannot be signed";
    return std::nullopt;
  }
  return ReleaseStatementFileText(*statement, *signature);
}

std::optional<ReleaseInfo> AddReleaseFile(const CentralConfig& config, CentralStore& store,
                                          const std::string& bytes, std::int64_t now,
                                          const std::string& statementText, std::string& error) {
  const std::optional<ReleaseInfo> info = DescribeRelease(bytes);
  if (!info) {
    error = "not a Windows executable";
    return std::nullopt;
  }
  if (!statementText.empty()) {
    // The statement must be of this very file: the operator may have picked
    // the statement of another build.
    const std::optional<SignedReleaseStatement> stated = ParseReleaseStatementFile(statementText);
    const std::optional<ReleaseStatement> actual = StatementOfRelease(bytes, error);
    if (!stated) {
      error = "the signature file is no release statement";
      return std::nullopt;
    }
    if (!actual) return std::nullopt;
    if (ReleaseStatementText(stated->statement) != ReleaseStatementText(*actual)) {
      error = "the statement is of another file (it states release " +
              ReleaseNumberText(stated->statement.number) + " for " + stated->statement.machine +
              "; this file is " + ReleaseNumberText(actual->number) + " for " + actual->machine + ")";
      return std::nullopt;
    }
  }
  const std::string signaturePath = SignatureFilePath(config, info->crc);
  if (!WriteWhole(ReleaseFilePath(config, info->crc), bytes, error)) return std::nullopt;
  // The statement is in place before the release is announced; a release
  // added again unsigned loses the statement of its earlier adding.
  if (!statementText.empty()) {
    if (!WriteWhole(signaturePath, statementText, error)) return std::nullopt;
  } else if (std::remove(signaturePath.c_str()) != 0 && errno != ENOENT) {
    error = "cannot remove " + signaturePath;
    return std::nullopt;
  }
  if (!store.AddRelease(*info, now)) {
    error = "the store refused the release";
    return std::nullopt;
  }
  return info;
}

bool ReleaseIsSigned(const CentralConfig& config, const std::string& crc) {
  return access(SignatureFilePath(config, crc).c_str(), F_OK) == 0;
}
