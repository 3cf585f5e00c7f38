// The statement the service serves beside a release, as the assistant reads
// and judges it before it downloads anything.
#include <string>
#include <string_view>

#include "crypto/release_statement.h"
#include "fuzz_targets.h"

int FuzzReleaseStatement(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  // The public half of tests/data/release/test-release-key.pem.
  static const ReleaseKey key = *ParseReleaseKey(
      "F81A3EFA2BB7B9E763003D4BE56EB35544E68E7DCBC923A8354C2C2813550867"
      "F213E85A7CFAFD80DD2FE335410DFDEA6921EF32EB241813743183B641D8883B");
  const StatementVerdict verdict = CheckReleaseStatement(key, text, 0x0001000000000001, "x64");
  const std::optional<SignedReleaseStatement> parsed = ParseReleaseStatementFile(text);
  if (!parsed) {
    if (verdict.check != StatementCheck::kNoStatement && verdict.check != StatementCheck::kOldForm) {
      FuzzFail("a text that is no statement was judged as one");
    }
    return 0;
  }
  // What was read is written back the same way, up to blanks and line ends.
  const std::string again = ReleaseStatementFileText(parsed->statement, parsed->signature);
  const auto reread = ParseReleaseStatementFile(again);
  if (!reread || ReleaseStatementFileText(reread->statement, reread->signature) != again) {
    FuzzFail("a statement that does not read back as written");
  }
  // Nothing the fuzzer makes carries the test key's signature of a release
  // above 1.0.0.1 for x64 but the fixture's own statement.
  if (verdict.check == StatementCheck::kAccepted && text.find("release 1.0.0.2") == std::string_view::npos) {
    FuzzFail("a forged statement was accepted");
  }
  return 0;
}
