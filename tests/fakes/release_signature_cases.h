// The verdicts on the release fixtures of tests/data/release/, one table for
// both halves of the verifier: the native test runs it through OpenSSL, the
// Windows-side test through CNG, so the two must agree case by case.
#pragma once
#include <functional>
#include <string>
#include <vector>

#include "crypto/release_signature.h"
#include "platform/file_chunks.h"

struct ReleaseSignatureCase {
  const char* name;
  const char* file;       // fixture checked; "" for a file that does not exist
  int flipFileBit;        // bit flipped in a copy of the file; -1: none
  const char* signature;  // fixture served as the signature; "" for none
  // The served text changed: a bit flipped in one of its digits, cut, or
  // replaced outright.
  std::function<std::string(std::string)> alter;
  const char* keyDigits;  // the assistant's key; nullptr: kTestReleaseKey
  ReleaseCheck expected;
};

inline std::string Unchanged(std::string text) { return text; }

// The public half of tests/data/release/test-release-key.pem (the test
// build's TOLLIMER_RELEASE_KEY; spelled out so the table holds whatever key a
// build carries).
inline constexpr const char* kTestReleaseKey =
    "F81A3EFA2BB7B9E763003D4BE56EB35544E68E7DCBC923A8354C2C2813550867"
    "F213E85A7CFAFD80DD2FE335410DFDEA6921EF32EB241813743183B641D8883B";

// The first decimal digit at or after `from` with its lowest bit flipped: one
// bit of the signature changed, the text still 128 hex digits.
inline std::string FlipDigitBit(std::string text, std::size_t from) {
  while (text[from] > '9') ++from;
  text[from] = static_cast<char>(text[from] ^ 1);
  return text;
}

inline const std::vector<ReleaseSignatureCase>& ReleaseSignatureCases() {
  // A point that is not on the curve: no signature may verify with it.
  static const char* kOffCurve =
      "0000000000000000000000000000000000000000000000000000000000000001"
      "0000000000000000000000000000000000000000000000000000000000000001";
  static const std::vector<ReleaseSignatureCase> cases = {
      {"Good", "release.bin", -1, "release.sig", Unchanged, nullptr, ReleaseCheck::kSigned},
      {"GoodWithLineEnds", "release.bin", -1, "release.sig",
       [](std::string t) { return "\r\n " + t + "\r\n"; }, nullptr, ReleaseCheck::kSigned},
      {"FlippedBitInTheFile", "release.bin", 8 * 2500 + 3, "release.sig", Unchanged, nullptr,
       ReleaseCheck::kBadSignature},
      {"FlippedBitInTheFilesLastByte", "release.bin", 8 * 5001, "release.sig", Unchanged, nullptr,
       ReleaseCheck::kBadSignature},
      {"FlippedBitInR", "release.bin", -1, "release.sig", [](std::string t) { return FlipDigitBit(t, 2); },
       nullptr, ReleaseCheck::kBadSignature},
      {"FlippedBitInS", "release.bin", -1, "release.sig", [](std::string t) { return FlipDigitBit(t, 100); },
       nullptr, ReleaseCheck::kBadSignature},
      {"SignatureOfAnotherFile", "release.bin", -1, "another.sig", Unchanged, nullptr,
       ReleaseCheck::kBadSignature},
      {"SignedWithAnotherKey", "release.bin", -1, "release.other-key.sig", Unchanged, nullptr,
       ReleaseCheck::kBadSignature},
      {"ZeroSignature", "release.bin", -1, "", [](std::string) { return std::string(128, '0'); },
       nullptr, ReleaseCheck::kBadSignature},
      {"KeyNotOnTheCurve", "release.bin", -1, "release.sig", Unchanged, kOffCurve,
       ReleaseCheck::kBadSignature},
      {"EmptySignature", "release.bin", -1, "", Unchanged, nullptr, ReleaseCheck::kNoSignature},
      {"TruncatedSignature", "release.bin", -1, "release.sig",
       [](std::string t) { return t.substr(0, 126); }, nullptr, ReleaseCheck::kNoSignature},
      {"SignatureWithAnExtraDigit", "release.bin", -1, "release.sig",
       [](std::string t) { return t.substr(0, 128) + "0"; }, nullptr, ReleaseCheck::kNoSignature},
      {"NotFoundPage", "release.bin", -1, "", [](std::string) { return std::string("no release"); },
       nullptr, ReleaseCheck::kNoSignature},
      {"FileMissing", "", -1, "release.sig", Unchanged, nullptr, ReleaseCheck::kUnreadable},
  };
  return cases;
}

inline std::string ReadFixture(const std::string& path) {
  std::string bytes;
  const FileResult read = ReadFileChunks(path, 1 << 16, [&bytes](const void* data, std::size_t size) {
    bytes.append(static_cast<const char*>(data), size);
  });
  return read.ok ? bytes : std::string();
}

// One case's verdict. `dataFolder` ends with its separator; `write(name,
// bytes)` puts a file into a scratch folder and returns its path.
inline ReleaseCheck RunReleaseSignatureCase(
    const ReleaseSignatureCase& c, const std::string& dataFolder,
    const std::function<std::string(const std::string&, const std::string&)>& write) {
  std::string path = dataFolder + "missing.bin";
  if (*c.file) {
    std::string bytes = ReadFixture(dataFolder + c.file);
    if (c.flipFileBit >= 0) {
      char& byte = bytes[static_cast<std::size_t>(c.flipFileBit / 8)];
      byte = static_cast<char>(byte ^ (1 << (c.flipFileBit % 8)));
    }
    path = write(c.file, bytes);
  }
  const std::string served = c.alter(*c.signature ? ReadFixture(dataFolder + c.signature) : std::string());
  const ReleaseKey key = *ParseReleaseKey(c.keyDigits ? c.keyDigits : kTestReleaseKey);
  return CheckRelease(key, Sha256OfFile(path), served);
}
