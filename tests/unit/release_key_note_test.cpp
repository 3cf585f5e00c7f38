// The assistant's start-up line about its release key: the fingerprint a
// person compares with the one the chain's build printed, and a plain word
// when the key is the test key or missing.
#include "crypto/release_key_note.h"

#include <gtest/gtest.h>

#include "fakes/release_signature_cases.h"

namespace {

struct KeyLineCase {
  const char* name;
  const char* keyDigits;  // nullptr: a build without a key
  std::string expected;   // the whole line, GBK
};

TEST(ReleaseKeyNote, StartupLineNamesTheKeyByFingerprintAndTheTestKeyAsOne) {
  const std::string kOtherKey(128, 'A');
  const std::string kOtherKeyMixedCase = std::string(64, 'a') + std::string(64, 'A');
  const KeyLineCase cases[] = {
      // The fingerprints are `printf %s DIGITS | sha256sum` of the upper-case digits.
      {"test key", kTestReleaseKey,
       "ReleaseKey:sha256=6E99A4105BFEED33402B60CA7534C3B0F3179A8FCF2CA4C52AF9A054A46135A8,"
       "测试密钥(私钥已公开,测试版,不可发给网吧)"},
      {"a chain's key", kOtherKey.c_str(),
       "ReleaseKey:sha256=B6AC3CC10386331C765F04F041C147D0F278F2AED8EAA021E2D0057FC6F6FF9E"},
      {"the same key in lower case", kOtherKeyMixedCase.c_str(),
       "ReleaseKey:sha256=B6AC3CC10386331C765F04F041C147D0F278F2AED8EAA021E2D0057FC6F6FF9E"},
      {"no key", nullptr, "ReleaseKey:none,未编入发布密钥,更新不验签名(任何人都能推送程序)"},
  };
  for (const KeyLineCase& c : cases) {
    const std::optional<ReleaseKey> key =
        c.keyDigits ? ParseReleaseKey(c.keyDigits) : std::optional<ReleaseKey>();
    EXPECT_EQ(ReleaseKeyLogLine(key), c.expected) << c.name;
  }
}

TEST(ReleaseKeyNote, OnlyTheTestKeyIsTheTestKey) {
  EXPECT_TRUE(IsTestReleaseKey(*ParseReleaseKey(kTestReleaseKey)));
  EXPECT_FALSE(IsTestReleaseKey(*ParseReleaseKey(FlipDigitBit(kTestReleaseKey, 0))));
}

}  // namespace
