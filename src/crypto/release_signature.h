// Signed releases. The chain's operator signs every release with a key of
// their own (ECDSA on the P-256 curve over the SHA-256 of the whole file); an
// assistant built with the public key swaps in only a download whose
// signature verifies. The CRC of the release identities guards against a
// broken download only: anybody on the path to the service could announce
// the CRC of a program of their own.
//
// The arithmetic is never ours: the Windows half hashes and verifies with
// CNG (bcrypt.dll), the native half (the service, the native tests) with
// OpenSSL. This header holds the formats both sides share and the decision.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

using Sha256Digest = std::array<std::uint8_t, 32>;
// The public point X || Y, 32 big-endian bytes each: the form
// -DTOLLIMER_RELEASE_KEY takes (128 hex digits) and CNG imports.
using ReleaseKey = std::array<std::uint8_t, 64>;
// r || s, 32 big-endian bytes each: the form CNG verifies.
using ReleaseSignature = std::array<std::uint8_t, 64>;

// Exactly 128 hex digits (either case). Nothing for anything else.
std::optional<ReleaseKey> ParseReleaseKey(std::string_view digits);

// The signature file the service serves beside a release: 128 hex digits,
// optionally surrounded by blanks and line ends. Nothing for anything else
// (an error page, an empty or cut reply).
std::optional<ReleaseSignature> ParseReleaseSignature(std::string_view text);

// Upper-case hex digits of `bytes`: a key or a signature in its text form.
std::string ReleaseHexText(const std::uint8_t* bytes, std::size_t size);

// The release key the assistant was built with; nothing for a build without
// one (such an assistant swaps in whatever matches the announced CRC).
std::optional<ReleaseKey> CompiledReleaseKey();

// SHA-256 fed piece by piece (platform half).
class Sha256Hasher {
 public:
  Sha256Hasher();
  ~Sha256Hasher();
  Sha256Hasher(const Sha256Hasher&) = delete;
  Sha256Hasher& operator=(const Sha256Hasher&) = delete;
  void Update(const void* data, std::size_t size);
  // The digest of everything fed; nothing when the platform failed at any step.
  std::optional<Sha256Digest> Finish();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// SHA-256 of the whole file at the GBK path; nothing when it cannot be read
// to its end.
std::optional<Sha256Digest> Sha256OfFile(const std::string& path);

// True when `signature` is a valid signature of `digest` under `key` (platform
// half). False for a key that is no point of the curve, and for r or s out of
// range.
bool VerifyP256Signature(const ReleaseKey& key, const Sha256Digest& digest,
                         const ReleaseSignature& signature);

// The verdict on a downloaded release.
enum class ReleaseCheck {
  kSigned,        // the signature verifies with the key
  kNoSignature,   // nothing that reads as a signature was served
  kBadSignature,  // a signature, but not one of this file with this key
  kUnreadable,    // the file could not be read to its end
};

// The decision on a release: its file's digest (nothing when unreadable) and
// the text served as its signature, against the assistant's key.
ReleaseCheck CheckRelease(const ReleaseKey& key, const std::optional<Sha256Digest>& fileDigest,
                          std::string_view signatureText);
