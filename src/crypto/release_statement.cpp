#include "crypto/release_statement.h"

#include <vector>

#include "util/hex.h"

namespace {

constexpr std::string_view kTitleLine = "tollimer release statement";

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

std::vector<std::string_view> Lines(std::string_view text) {
  std::vector<std::string_view> lines;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.push_back(line);
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
  return lines;
}

// The value of "name value"; nothing when the line is another one.
std::optional<std::string_view> Field(std::string_view line, std::string_view name) {
  if (line.size() <= name.size() || line.compare(0, name.size(), name) != 0 || line[name.size()] != ' ') {
    return std::nullopt;
  }
  return line.substr(name.size() + 1);
}

std::string LowerHex(const std::uint8_t* bytes, std::size_t size) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text;
  for (std::size_t i = 0; i < size; ++i) {
    text += kDigits[bytes[i] >> 4];
    text += kDigits[bytes[i] & 0x0F];
  }
  return text;
}

std::optional<Sha256Digest> ParseDigest(std::string_view digits) {
  Sha256Digest digest{};
  if (digits.size() != 2 * digest.size()) return std::nullopt;
  for (std::size_t i = 0; i < digest.size(); ++i) {
    const int hi = hex::DigitValue(digits[2 * i]);
    const int lo = hex::DigitValue(digits[2 * i + 1]);
    if (hi < 0 || lo < 0) return std::nullopt;
    digest[i] = static_cast<std::uint8_t>(hi * 16 + lo);
  }
  return digest;
}

bool IsKnownMachine(std::string_view machine) { return machine == "x86" || machine == "x64"; }

}  // namespace

std::optional<ReleaseNumber> ParseReleaseNumber(std::string_view text) {
  ReleaseNumber number = 0;
  for (int part = 0; part < 4; ++part) {
    if (part > 0) {
      if (text.empty() || text.front() != '.') return std::nullopt;
      text.remove_prefix(1);
    }
    std::size_t digits = 0;
    unsigned value = 0;
    while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9' && digits < 5) {
      value = value * 10 + static_cast<unsigned>(text[digits] - '0');
      ++digits;
    }
    if (digits == 0 || value > 0xFFFF) return std::nullopt;
    text.remove_prefix(digits);
    number = number << 16 | value;
  }
  if (!text.empty()) return std::nullopt;
  return number;
}

std::string ReleaseNumberText(ReleaseNumber number) {
  std::string text;
  for (int shift = 48; shift >= 0; shift -= 16) {
    if (!text.empty()) text += '.';
    text += std::to_string((number >> shift) & 0xFFFF);
  }
  return text;
}

std::string ReleaseStatementText(const ReleaseStatement& statement) {
  return std::string(kTitleLine) + "\nrelease " + ReleaseNumberText(statement.number) + "\nmachine " +
         statement.machine + "\nsha256 " + LowerHex(statement.sha256.data(), statement.sha256.size()) + "\n";
}

std::string ReleaseStatementFileText(const ReleaseStatement& statement, const ReleaseSignature& signature) {
  return ReleaseStatementText(statement) + "signature " + ReleaseHexText(signature.data(), signature.size()) +
         "\n";
}

std::optional<SignedReleaseStatement> ParseReleaseStatementFile(std::string_view text) {
  const std::vector<std::string_view> lines = Lines(Trimmed(text));
  if (lines.size() != 5 || lines[0] != kTitleLine) return std::nullopt;
  const auto number = Field(lines[1], "release");
  const auto machine = Field(lines[2], "machine");
  const auto digest = Field(lines[3], "sha256");
  const auto signature = Field(lines[4], "signature");
  if (!number || !machine || !digest || !signature) return std::nullopt;
  SignedReleaseStatement out;
  const auto parsedNumber = ParseReleaseNumber(*number);
  const auto parsedDigest = ParseDigest(*digest);
  const auto parsedSignature = ParseReleaseSignature(*signature);
  if (!parsedNumber || !IsKnownMachine(*machine) || !parsedDigest || !parsedSignature) return std::nullopt;
  out.statement = {*parsedNumber, std::string(*machine), *parsedDigest};
  out.signature = *parsedSignature;
  return out;
}

StatementVerdict CheckReleaseStatement(const ReleaseKey& key, std::string_view servedText,
                                       ReleaseNumber ownNumber, std::string_view ownMachine) {
  StatementVerdict verdict;
  const std::optional<SignedReleaseStatement> signed_ = ParseReleaseStatementFile(servedText);
  if (!signed_) {
    verdict.check = ParseReleaseSignature(servedText) ? StatementCheck::kOldForm : StatementCheck::kNoStatement;
    return verdict;
  }
  verdict.statement = signed_->statement;
  // What was signed is rebuilt from the fields read, so a statement that
  // differs from its signed text in any way fails the signature.
  const std::string signedText = ReleaseStatementText(signed_->statement);
  Sha256Hasher hasher;
  hasher.Update(signedText.data(), signedText.size());
  const std::optional<Sha256Digest> digest = hasher.Finish();
  if (!digest || !VerifyP256Signature(key, *digest, signed_->signature)) {
    verdict.check = StatementCheck::kBadSignature;
  } else if (signed_->statement.machine != ownMachine) {
    verdict.check = StatementCheck::kOtherMachine;
  } else if (signed_->statement.number <= ownNumber) {
    verdict.check = StatementCheck::kNotNewer;
  } else {
    verdict.check = StatementCheck::kAccepted;
  }
  return verdict;
}

const char* StatementCheckCode(StatementCheck check) {
  switch (check) {
    case StatementCheck::kNoStatement:
      return "NoSign";
    case StatementCheck::kOldForm:
      return "OldSign";
    case StatementCheck::kBadSignature:
      return "BadSign";
    case StatementCheck::kOtherMachine:
      return "Machine";
    case StatementCheck::kNotNewer:
      return "NotNewer";
    case StatementCheck::kAccepted:
      break;
  }
  return "";
}
