// The verdicts on the statement fixtures of tests/data/release/, one table for
// both halves of the verifier: the native test runs it through OpenSSL, the
// Windows-side test through CNG.
#pragma once
#include <string>
#include <vector>

#include "crypto/release_statement.h"
#include "fakes/release_signature_cases.h"

struct ReleaseStatementCase {
  std::string name;
  std::string served;     // the text served at the statement's address
  ReleaseNumber own;      // the running program's number
  const char* machine;    // and processor
  StatementCheck expected;
};

// `data`: the fixture folder, ending in its separator.
inline std::vector<ReleaseStatementCase> ReleaseStatementCases(const std::string& data) {
  constexpr ReleaseNumber k1001 = 0x0001000000000001;
  constexpr ReleaseNumber k1002 = 0x0001000000000002;
  const std::string good = ReadFixture(data + "release.statement");
  std::string changedNumber = good;
  changedNumber.replace(changedNumber.find("1.0.0.2"), 7, "1.0.0.9");
  std::string crlf;
  for (char c : good) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  const std::string x86 = ReadFixture(data + "release.x86.statement");
  return {
      {"Good", good, k1001, "x64", StatementCheck::kAccepted},
      {"GoodWithCrLfAndBlanks", "\r\n " + crlf + "\r\n", k1001, "x64", StatementCheck::kAccepted},
      {"ForTheOtherProcessor", x86, k1001, "x64", StatementCheck::kOtherMachine},
      {"ForThisProcessorOnX86", x86, k1001, "x86", StatementCheck::kAccepted},
      {"AnOlderNumber", ReadFixture(data + "release.old.statement"), k1002, "x64", StatementCheck::kNotNewer},
      {"TheSameNumber", good, k1002, "x64", StatementCheck::kNotNewer},
      {"TheRunningNumberUnknown", good, 0, "x64", StatementCheck::kAccepted},
      {"SignedWithAnotherKey", ReadFixture(data + "release.other-key.statement"), k1001, "x64",
       StatementCheck::kBadSignature},
      {"ANumberChangedAfterSigning", changedNumber, k1001, "x64", StatementCheck::kBadSignature},
      {"TheOldDetachedForm", ReadFixture(data + "release.sig"), k1001, "x64", StatementCheck::kOldForm},
      {"Nothing", "", k1001, "x64", StatementCheck::kNoStatement},
      {"AnErrorPage", "no release\n", k1001, "x64", StatementCheck::kNoStatement},
      {"CutShort", good.substr(0, good.size() - 20), k1001, "x64", StatementCheck::kNoStatement},
      {"AnExtraLine", good + "note x\n", k1001, "x64", StatementCheck::kNoStatement},
  };
}
