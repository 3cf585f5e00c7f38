// A release the operator adds: its checksum text (what assistants report and
// compare), its size, MD5 and the processor it is built for, read from the
// executable's PE header so a 32-bit installation is never handed a 64-bit
// program.
#pragma once
#include <cstdint>
#include <optional>
#include <string>

#include "central/store/records.h"
#include "crypto/release_statement.h"

struct CentralConfig;
class CentralStore;
class ReleaseSigner;

// Nothing for an empty file and for one that is not a Windows executable
// (no MZ/PE header): the assistant would swap itself for something it cannot
// start.
std::optional<ReleaseInfo> DescribeRelease(const std::string& bytes);

// What a signed statement of `bytes` says: nothing, with `error` filled, for
// no executable, one for another processor than x86 and x64, or one without
// a version resource (no number to rise).
std::optional<ReleaseStatement> StatementOfRelease(const std::string& bytes, std::string& error);

// The statement file of `bytes` signed with `signer`; nothing, with `error`
// filled, when it cannot be made.
std::optional<std::string> SignRelease(const std::string& bytes, const ReleaseSigner& signer, std::string& error);

// Adds `bytes` as a release: copied into the release folder under its
// checksum, with its statement file beside it when `statementText` is not
// empty (each written beside its final name and renamed, so the service never
// serves half a file), then made current for its processor in the store.
// A statement must read as one and state this very file. Nothing, with
// `error` filled, when it is no executable, the statement is not of it, or it
// cannot be kept.
std::optional<ReleaseInfo> AddReleaseFile(const CentralConfig& config, CentralStore& store,
                                          const std::string& bytes, std::int64_t now,
                                          const std::string& statementText, std::string& error);

// Whether the release has a statement beside it.
bool ReleaseIsSigned(const CentralConfig& config, const std::string& crc);

// The files of a release in the release folder.
std::string ReleaseFilePath(const CentralConfig& config, const std::string& crc);
std::string SignatureFilePath(const CentralConfig& config, const std::string& crc);
