#include "util/literals.h"

#include <gtest/gtest.h>

#include "util/literal_table.h"

namespace {

// Hex of plain XOR row 1, computed here independently of Encipher.
std::string Hex(const std::string& plain) {
  static const char* digits = "0123456789ABCDEF";
  std::string out;
  for (std::size_t i = 0; i < plain.size(); ++i) {
    auto b = static_cast<unsigned char>(plain[i]) ^ literals::kKeyTable[i % 8];
    out += digits[b >> 4];
    out += digits[b & 15];
  }
  return out;
}

TEST(DecipherLiteral, RoundTripsTheTableAndRestartsTheKeyForEachLiteral) {
  EXPECT_EQ(Literal(lit::kAppKeyPath), "Software\\Tollimer");
  EXPECT_EQ(Literal(lit::kFaceDialogCaption), "人脸核验");
  EXPECT_EQ(lit::kLogMarkerFile.hex, Hex("debug"));
  // Two literals in a row both start at byte 0 of the row.
  EXPECT_EQ(DecipherLiteral(Hex("abc"), 1), "abc");
  EXPECT_EQ(DecipherLiteral(Hex("abc"), 1), "abc");
}

TEST(DecipherLiteral, InvalidTextGivesEmptyAndAnOddDigitIsIgnored) {
  const std::string hex = Hex("Tollimer!");
  struct Case { std::string text; std::string plain; };
  const Case cases[] = {
      {"", ""},
      {"  " + hex + "\r\n", "Tollimer!"},          // blanks around are trimmed
      {hex + "7", "Tollimer!"},                     // odd last digit ignored
      {"0a", ""},                                   // lower-case digit: invalid
      {hex.substr(0, 4) + " " + hex.substr(4), ""}, // inner blank: invalid
      {"XYZ0", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(DecipherLiteral(c.text, 1), c.plain) << c.text;
}

TEST(DecipherLiteral, EachRowHasItsOwnKey) {
  EXPECT_NE(DecipherLiteral(Hex("abcdefgh"), 2), "abcdefgh");
  EXPECT_EQ(DecipherLiteral(Hex("abc"), 0), "");
  EXPECT_EQ(DecipherLiteral(Hex("abc"), 5), "");
}

}  // namespace
