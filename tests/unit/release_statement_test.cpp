#include "crypto/release_statement.h"

#include <gtest/gtest.h>

#include "fakes/release_signature_cases.h"

namespace {

const std::string kData = std::string(TOLLIMER_TEST_DATA) + "/release/";
constexpr ReleaseNumber k1001 = 0x0001000000000001;

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
// code: the text the signature covers is the same on both sides.
TEST(ReleaseStatement, TheAssistantsVerdictOnAServedStatement) {
  const auto key = ParseReleaseKey(kTestReleaseKey);
  ASSERT_TRUE(key);
  const std::string good = ReadFixture(kData + "release.statement");
  struct Case {
    const char* name;
    std::string served;
    ReleaseNumber own;
    const char* machine;
    StatementCheck expected;
  };
  std::string changedNumber = good;
  changedNumber.replace(changedNumber.find("1.0.0.2"), 7, "1.0.0.9");
  std::string crlf;
  for (char c : good) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  const Case cases[] = {
      {"Good", good, k1001, "x64", StatementCheck::kAccepted},
      {"GoodWithCrLfAndBlanks", "\r\n " + crlf + "\r\n", k1001, "x64", StatementCheck::kAccepted},
      {"ForTheOtherProcessor", ReadFixture(kData + "release.x86.statement"), k1001, "x64",
       StatementCheck::kOtherMachine},
      {"ForThisProcessorOnX86", ReadFixture(kData + "release.x86.statement"), k1001, "x86",
       StatementCheck::kAccepted},
      {"AnOlderNumber", ReadFixture(kData + "release.old.statement"), 0x0001000000000002, "x64",
       StatementCheck::kNotNewer},
      {"TheSameNumber", good, 0x0001000000000002, "x64", StatementCheck::kNotNewer},
      {"TheRunningNumberUnknown", good, 0, "x64", StatementCheck::kAccepted},
      {"SignedWithAnotherKey", ReadFixture(kData + "release.other-key.statement"), k1001, "x64",
       StatementCheck::kBadSignature},
      {"ANumberChangedAfterSigning", changedNumber, k1001, "x64", StatementCheck::kBadSignature},
      {"TheOldDetachedForm", ReadFixture(kData + "release.sig"), k1001, "x64", StatementCheck::kOldForm},
      {"Nothing", "", k1001, "x64", StatementCheck::kNoStatement},
      {"AnErrorPage", "no release\n", k1001, "x64", StatementCheck::kNoStatement},
      {"CutShort", good.substr(0, good.size() - 20), k1001, "x64", StatementCheck::kNoStatement},
      {"AnExtraLine", good + "note x\n", k1001, "x64", StatementCheck::kNoStatement},
  };
  for (const Case& c : cases) {
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
