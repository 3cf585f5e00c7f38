#include "crypto/release_statement.h"

#include <gtest/gtest.h>

#include "fakes/release_signature_cases.h"
#include "fakes/release_statement_cases.h"

namespace {

const std::string kData = std::string(TOLLIMER_TEST_DATA) + "/release/";

TEST(ReleaseNumber, FourPartsOfSixteenBitsCompareAsReleases) {
  EXPECT_EQ(ParseReleaseNumber("1.0.0.2"), ReleaseNumber{0x0001000000000002});
  EXPECT_EQ(ParseReleaseNumber("65535.0.0.0"), ReleaseNumber{0xFFFF000000000000});
  EXPECT_LT(*ParseReleaseNumber("1.0.0.65535"), *ParseReleaseNumber("1.0.1.0"));
  EXPECT_EQ(ReleaseNumberText(0x0002000300040005), "2.3.4.5");
  for (const char* bad : {"", "1.0.0", "1.0.0.2.", "1.0.0.65536", "1..0.2", "1.0.0.x", "-1.0.0.2",
                          "1.0.0.2 ", "1.0.0.000002"}) {
    EXPECT_FALSE(ParseReleaseNumber(bad)) << bad;
  }
}

// The statement fixtures were made by the openssl command line, not by this
// code: the text the signature covers is the same on both sides. The
// Windows-side test runs the same table through CNG.
TEST(ReleaseStatement, TheAssistantsVerdictOnAServedStatement) {
  const auto key = ParseReleaseKey(kTestReleaseKey);
  ASSERT_TRUE(key);
  for (const ReleaseStatementCase& c : ReleaseStatementCases(kData)) {
    EXPECT_EQ(CheckReleaseStatement(*key, c.served, c.own, c.machine).check, c.expected) << c.name;
  }
}

TEST(ReleaseStatement, ReadBackIsWrittenTheSameWay) {
  const std::string good = ReadFixture(kData + "release.statement");
  const auto parsed = ParseReleaseStatementFile(good);
  ASSERT_TRUE(parsed);
  EXPECT_EQ(parsed->statement.number, ReleaseNumber{0x0001000000000002});
  EXPECT_EQ(parsed->statement.machine, "x64");
  EXPECT_EQ(ReleaseStatementFileText(parsed->statement, parsed->signature), good);
  EXPECT_EQ(parsed->statement.sha256, Sha256OfFile(kData + "release.bin"));
}

}  // namespace
