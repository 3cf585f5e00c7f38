#include "crypto/release_signature.h"

#include <gtest/gtest.h>
#include <openssl/sha.h>

#include "fakes/release_signature_cases.h"
#include "fakes/temp_dir.h"

namespace {

const std::string kData = std::string(TOLLIMER_TEST_DATA) + "/release/";

class ReleaseSignatureTest : public testing::TestWithParam<ReleaseSignatureCase> {};

TEST_P(ReleaseSignatureTest, VerdictOnTheFixture) {
  TempDir scratch("release_signature_test");
  const ReleaseCheck verdict = RunReleaseSignatureCase(
      GetParam(), kData,
      [&scratch](const std::string& name, const std::string& bytes) { return scratch.Write(name, bytes); });
  EXPECT_EQ(static_cast<int>(verdict), static_cast<int>(GetParam().expected));
}

INSTANTIATE_TEST_SUITE_P(Fixtures, ReleaseSignatureTest, testing::ValuesIn(ReleaseSignatureCases()),
                         [](const testing::TestParamInfo<ReleaseSignatureCase>& info) {
                           return std::string(info.param.name);
                         });

TEST(Sha256OfFile, MatchesOpenSslOnFilesAroundTheChunkSize) {
  TempDir scratch("release_sha256_test");
  for (std::size_t size : {std::size_t{0}, std::size_t{1}, std::size_t{1} << 20, (std::size_t{1} << 20) + 7}) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(i * 31 + 7);
    Sha256Digest expected{};
    SHA256(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), expected.data());
    const auto digest = Sha256OfFile(scratch.Write("f.bin", bytes));
    ASSERT_TRUE(digest) << size;
    EXPECT_EQ(*digest, expected) << size;
  }
}

TEST(ReleaseKeyText, ReadsExactly128HexDigits) {
  const std::string key = kTestReleaseKey;
  ASSERT_TRUE(ParseReleaseKey(key));
  EXPECT_EQ(ReleaseHexText(ParseReleaseKey(key)->data(), 64), key);
  std::string lower = key;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  EXPECT_EQ(ParseReleaseKey(lower), ParseReleaseKey(key));
  for (const std::string& bad : {std::string(), key.substr(1), key + "0", "G" + key.substr(1), " " + key}) {
    EXPECT_FALSE(ParseReleaseKey(bad)) << bad;
  }
}

TEST(ReleaseKeyText, TheTestBuildCarriesTheTestKey) {
  // The end-to-end tests sign with tests/data/release/test-release-key.pem.
  ASSERT_TRUE(CompiledReleaseKey());
  EXPECT_EQ(ReleaseHexText(CompiledReleaseKey()->data(), 64), kTestReleaseKey);
}

}  // namespace
