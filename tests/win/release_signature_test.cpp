// The release signature's CNG half (bcrypt.dll) on the fixtures of
// tests/data/release/: the same table the native (OpenSSL) half passes.
#include <gtest/gtest.h>

#include <direct.h>

#include <cstdio>
#include <cstdlib>

#include "fakes/release_signature_cases.h"
#include "fakes/release_statement_cases.h"
#include "net/target_file.h"

namespace {

const std::string kData = std::string(TOLLIMER_TEST_DATA) + "\\release\\";

std::string Scratch() {
  const char* temp = std::getenv("TEMP");
  const std::string dir = std::string(temp != nullptr ? temp : ".") + "\\release_signature_test";
  _mkdir(dir.c_str());
  return dir + "\\";
}

class ReleaseSignatureWin : public testing::TestWithParam<ReleaseSignatureCase> {};

TEST_P(ReleaseSignatureWin, VerdictOnTheFixture) {
  const std::string scratch = Scratch();
  std::string written;
  const ReleaseCheck verdict =
      RunReleaseSignatureCase(GetParam(), kData, [&](const std::string& name, const std::string& bytes) {
        written = scratch + name;
        auto file = CreateTargetFile(written);
        EXPECT_TRUE(file && file->Write(bytes.data(), bytes.size()) && file->Close()) << written;
        return written;
      });
  EXPECT_EQ(static_cast<int>(verdict), static_cast<int>(GetParam().expected));
  if (!written.empty()) std::remove(written.c_str());
}

INSTANTIATE_TEST_SUITE_P(Fixtures, ReleaseSignatureWin, testing::ValuesIn(ReleaseSignatureCases()),
                         [](const testing::TestParamInfo<ReleaseSignatureCase>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace

namespace {

// The statement check through CNG: the table the OpenSSL half passes.
TEST(ReleaseStatementWin, VerdictsOnTheStatementFixtures) {
  const auto key = ParseReleaseKey(kTestReleaseKey);
  ASSERT_TRUE(key);
  for (const ReleaseStatementCase& c : ReleaseStatementCases(kData)) {
    EXPECT_EQ(CheckReleaseStatement(*key, c.served, c.own, c.machine).check, c.expected) << c.name;
  }
}

}  // namespace
