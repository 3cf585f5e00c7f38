// A release the operator adds: its checksum text (what assistants report and
// compare), its size, MD5 and the processor it is built for, read from the
// executable's PE header so a 32-bit installation is never handed a 64-bit
// program.
#pragma once
#include <cstdint>
#include <optional>
#include <string>

struct CentralConfig;
class CentralStore;
class ReleaseSigner;

struct ReleaseInfo {
  std::string crc;      // 8 upper-case hex digits, as the assistant writes its own
  std::string md5;      // 32 lower-case hex digits
  std::int64_t size = 0;
  std::string machine;  // "x86", "x64" or "other"
};

// Nothing for an empty file and for one that is not a Windows executable
// (no MZ/PE header): the assistant would swap itself for something it cannot
// start.
std::optional<ReleaseInfo> DescribeRelease(const std::string& bytes);

// Adds `bytes` as a release: copied into the release folder under its
// checksum, with its signature beside it when there is a `signer` (each
// written beside its final name and renamed, so the service never serves half
// a file), then made current for its processor in the store. Without a signer
// the release has no signature file. Nothing, with `error` filled, when it is
// no executable or cannot be kept or signed.
std::optional<ReleaseInfo> AddReleaseFile(const CentralConfig& config, CentralStore& store,
                                          const std::string& bytes, std::int64_t now,
                                          const ReleaseSigner* signer, std::string& error);

// The files of a release in the release folder.
std::string ReleaseFilePath(const CentralConfig& config, const std::string& crc);
std::string SignatureFilePath(const CentralConfig& config, const std::string& crc);
