// The signature text the service serves beside a release, as the assistant
// reads it, and the verdict on it.
#include <cctype>
#include <string>
#include <string_view>

#include "crypto/release_signature.h"
#include "fuzz_targets.h"

int FuzzReleaseSignature(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  // The public half of tests/data/release/test-release-key.pem.
  static const ReleaseKey key = *ParseReleaseKey(
      "F81A3EFA2BB7B9E763003D4BE56EB35544E68E7DCBC923A8354C2C2813550867"
      "F213E85A7CFAFD80DD2FE335410DFDEA6921EF32EB241813743183B641D8883B");
  Sha256Hasher hasher;
  hasher.Update("release", 7);
  const std::optional<Sha256Digest> digest = hasher.Finish();
  if (!digest) FuzzFail("no SHA-256 of a constant");

  const std::optional<ReleaseSignature> signature = ParseReleaseSignature(text);
  const ReleaseCheck check = CheckRelease(key, digest, text);
  if (!signature) {
    if (check != ReleaseCheck::kNoSignature) FuzzFail("a text that is no signature was judged as one");
    return 0;
  }
  // What was read is the text's 128 digits, nothing else.
  const std::string digits = ReleaseHexText(signature->data(), signature->size());
  std::string upper(text);
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (upper.find(digits) == std::string::npos) FuzzFail("a signature read from other digits than the text's");
  if (check == ReleaseCheck::kSigned) FuzzFail("a forged signature verified");
  // The same signature under a key that is not on the curve never verifies.
  ReleaseKey offCurve{};
  offCurve[31] = offCurve[63] = 1;
  if (VerifyP256Signature(offCurve, *digest, *signature)) FuzzFail("a key off the curve verified");
  return 0;
}
