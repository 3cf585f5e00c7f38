#include "crypto/release_signature.h"


#include "platform/file_chunks.h"
#include "util/hex.h"

namespace {

constexpr std::size_t kFileChunkBytes = 1u << 20;

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

}  // namespace

std::optional<ReleaseKey> ParseReleaseKey(std::string_view digits) {
  return hex::ParseBytes<std::tuple_size_v<ReleaseKey>>(digits);
}

std::optional<ReleaseSignature> ParseReleaseSignature(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return hex::ParseBytes<std::tuple_size_v<ReleaseSignature>>(text);
}

std::string ReleaseHexText(const std::uint8_t* bytes, std::size_t size) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text;
  text.reserve(2 * size);
  for (std::size_t i = 0; i < size; ++i) {
    text += kDigits[bytes[i] >> 4];
    text += kDigits[bytes[i] & 0x0F];
  }
  return text;
}

std::optional<ReleaseKey> CompiledReleaseKey() {
  // An empty TOLLIMER_RELEASE_KEY is a build without a key; the build refuses
  // any other value that is not 128 hex digits.
  return ParseReleaseKey(TOLLIMER_RELEASE_KEY);
}

std::optional<Sha256Digest> Sha256OfFile(const std::string& path) {
  Sha256Hasher hasher;
  const FileResult read = ReadFileChunks(path, kFileChunkBytes, [&hasher](const void* data, std::size_t size) {
    hasher.Update(data, size);
  });
  if (!read.ok) return std::nullopt;
  return hasher.Finish();
}

ReleaseCheck CheckRelease(const ReleaseKey& key, const std::optional<Sha256Digest>& fileDigest,
                          std::string_view signatureText) {
  if (!fileDigest) return ReleaseCheck::kUnreadable;
  const std::optional<ReleaseSignature> signature = ParseReleaseSignature(signatureText);
  if (!signature) return ReleaseCheck::kNoSignature;
  return VerifyP256Signature(key, *fileDigest, *signature) ? ReleaseCheck::kSigned
                                                           : ReleaseCheck::kBadSignature;
}
