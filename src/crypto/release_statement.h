// The signed statement of a release: what the operator vouches for is not a
// file alone but which release it is (its number, rising with every release,
// the FILEVERSION of its version resource), the processor it is built for and
// the SHA-256 of its file. An assistant takes only a release for its own
// processor whose number is above its own, so a release signed once can never
// be sent back (a downgrade, or a swap between the x86 and x64 builds).
//
// The statement is a small text file served beside the release:
//
//   tollimer release statement
//   release 1.0.0.2
//   machine x64
//   sha256 <64 lower-case hex digits>
//   signature <128 hex digits: ECDSA P-256, r || s>
//
// The signature covers the SHA-256 of the first four lines exactly as
// ReleaseStatementText writes them; the signer and both verifiers build that
// text with the same function.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "crypto/release_signature.h"

// The four parts of FILEVERSION, 16 bits each, highest first: numbers compare
// as releases do.
using ReleaseNumber = std::uint64_t;

// "1.0.0.2" into its number; nothing unless four decimal parts of 0..65535.
std::optional<ReleaseNumber> ParseReleaseNumber(std::string_view text);
std::string ReleaseNumberText(ReleaseNumber number);

struct ReleaseStatement {
  ReleaseNumber number = 0;
  std::string machine;  // "x86" or "x64", as the service describes a release
  Sha256Digest sha256{};
};

// The text the signature covers.
std::string ReleaseStatementText(const ReleaseStatement& statement);

// The whole statement file: the text and its signature line.
std::string ReleaseStatementFileText(const ReleaseStatement& statement, const ReleaseSignature& signature);

// The statement and its signature read back from a statement file (line ends
// may be CR LF, blanks around the whole are ignored). Nothing for anything
// else: an error page, a cut reply, the bare signature of the older form.
struct SignedReleaseStatement {
  ReleaseStatement statement;
  ReleaseSignature signature{};
};
std::optional<SignedReleaseStatement> ParseReleaseStatementFile(std::string_view text);

// The assistant's verdict on a served statement, before anything is downloaded.
enum class StatementCheck {
  kAccepted,
  kNoStatement,    // nothing that reads as a statement was served
  kOldForm,        // the bare signature of the older form: it says nothing of the release
  kBadSignature,   // a statement, but not signed with the key
  kOtherMachine,   // signed, but for another processor
  kNotNewer,       // signed, but its number is not above the running program's
};

struct StatementVerdict {
  StatementCheck check = StatementCheck::kNoStatement;
  ReleaseStatement statement;  // filled when it could be read
};

StatementVerdict CheckReleaseStatement(const ReleaseKey& key, std::string_view servedText,
                                       ReleaseNumber ownNumber, std::string_view ownMachine);

// The short code the assistant logs for a refusal ("" for kAccepted).
const char* StatementCheckCode(StatementCheck check);
