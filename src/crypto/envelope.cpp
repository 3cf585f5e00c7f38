#include "crypto/envelope.h"

#include <algorithm>
#include <array>
#include <cstdint>

#include "crypto/base64.h"
#include "crypto/codepage.h"
#include "crypto/des.h"
#include "util/hex.h"

namespace {

// Key rows: an 8-byte DES key, then an 8-byte initial vector. They are secrets
// shared with the central service and come from the build configuration; the
// digit strings are read while compiling, so only the bytes reach the program.
constexpr std::array<std::array<std::uint8_t, 16>, 4> kKeyRows = {
    hex::ToBytes<16>(TOLLIMER_DES_ROW0), hex::ToBytes<16>(TOLLIMER_DES_ROW1),
    hex::ToBytes<16>(TOLLIMER_DES_ROW2), hex::ToBytes<16>(TOLLIMER_DES_ROW3)};

std::string Seal(const std::string& text, const TEnvelopeKey& row, int utf8Switch, bool base64Switch) {
  std::string bytes = utf8Switch == 1 ? Ansi_ToUtf8(text) : text;
  // PKCS#5: 1 to 8 bytes, each holding the count; a whole block when the
  // length is already a multiple of 8.
  const std::size_t pad = 8 - bytes.size() % 8;
  bytes.append(pad, static_cast<char>(pad));

  const TDesKeySchedule schedule = Des_KeySchedule(row.key, TDesDirection::Encipher);
  TDesBlock chain = row.iv;
  for (std::size_t at = 0; at < bytes.size(); at += 8) {
    TDesBlock block;
    std::copy(bytes.begin() + at, bytes.begin() + at + 8, block.begin());
    Des_CbcStep(schedule, chain, block);
    std::copy(block.begin(), block.end(), bytes.begin() + at);
  }
  return base64Switch ? Base64_Encode(bytes) : bytes;
}

}  // namespace

TEnvelopeKey EnvelopeKeyRow(int keyRow) {
  TEnvelopeKey out{};
  if (keyRow < 0 || keyRow >= static_cast<int>(kKeyRows.size())) return out;
  const auto& bytes = kKeyRows[static_cast<std::size_t>(keyRow)];
  std::copy(bytes.begin(), bytes.begin() + 8, out.key.begin());
  std::copy(bytes.begin() + 8, bytes.end(), out.iv.begin());
  return out;
}

void Des_Crypt(const std::string& text, int direction, int keyRow, int utf8Switch, bool base64Switch,
               std::string& result) {
  if (keyRow < 0 || keyRow >= static_cast<int>(kKeyRows.size())) {
    result.clear();
    return;
  }
  Des_CryptWithKey(text, direction, EnvelopeKeyRow(keyRow), utf8Switch, base64Switch, result);
}

void Des_CryptWithKey(const std::string& text, int direction, const TEnvelopeKey& row,
                      int utf8Switch, bool base64Switch, std::string& result) {
  if (direction == 1) {
    result = Seal(text, row, utf8Switch, base64Switch);
    return;
  }

  const std::string bytes = base64Switch ? Base64_Decode(text) : text;
  if (bytes.size() % 8 != 0) return;  // result keeps the caller's value
  const TDesKeySchedule schedule = Des_KeySchedule(row.key, TDesDirection::Decipher);
  TDesBlock chain = row.iv;
  std::string plain;
  plain.reserve(bytes.size());
  for (std::size_t at = 0; at < bytes.size(); at += 8) {
    TDesBlock block;
    std::copy(bytes.begin() + at, bytes.begin() + at + 8, block.begin());
    Des_CbcStep(schedule, chain, block);
    for (std::uint8_t b : block) {
      if (b > 8) plain += static_cast<char>(b);
    }
  }
  result = utf8Switch == 1 ? Utf8_ToAnsi(plain) : plain;
}
