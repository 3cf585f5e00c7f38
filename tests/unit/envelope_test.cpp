#include "crypto/envelope.h"

#include <gtest/gtest.h>

#define OPENSSL_SUPPRESS_DEPRECATED  // DES lives in OpenSSL 3's deprecated API
#include <openssl/des.h>
#include <openssl/evp.h>

#include <array>
#include <climits>
#include <cstring>
#include <random>
#include <string>

#include "crypto/base64.h"
#include "util/hex.h"

namespace {

constexpr int kSeal = 1;
constexpr int kOpen = 2;

const std::array<std::array<std::uint8_t, 16>, 4> kRows = {
    hex::ToBytes<16>(TOLLIMER_DES_ROW0), hex::ToBytes<16>(TOLLIMER_DES_ROW1),
    hex::ToBytes<16>(TOLLIMER_DES_ROW2), hex::ToBytes<16>(TOLLIMER_DES_ROW3)};

// The same envelope built from OpenSSL's DES-CBC: PKCS#5 padding, the row's
// key and initial vector, raw cipher bytes.
std::string OpenSslSeal(const std::string& bytes, int row) {
  std::string padded = bytes;
  padded.append(8 - bytes.size() % 8, static_cast<char>(8 - bytes.size() % 8));
  DES_cblock key, iv;
  std::memcpy(key, kRows[row].data(), 8);
  std::memcpy(iv, kRows[row].data() + 8, 8);
  DES_key_schedule schedule;
  DES_set_key_unchecked(&key, &schedule);
  std::string out(padded.size(), '\0');
  DES_ncbc_encrypt(reinterpret_cast<const unsigned char*>(padded.data()),
                   reinterpret_cast<unsigned char*>(out.data()), static_cast<long>(padded.size()), &schedule,
                   &iv, DES_ENCRYPT);
  return out;
}

std::string OpenSslOpen(const std::string& cipher, int row) {
  DES_cblock key, iv;
  std::memcpy(key, kRows[row].data(), 8);
  std::memcpy(iv, kRows[row].data() + 8, 8);
  DES_key_schedule schedule;
  DES_set_key_unchecked(&key, &schedule);
  std::string out(cipher.size(), '\0');
  DES_ncbc_encrypt(reinterpret_cast<const unsigned char*>(cipher.data()),
                   reinterpret_cast<unsigned char*>(out.data()), static_cast<long>(cipher.size()), &schedule,
                   &iv, DES_DECRYPT);
  return out;
}

std::string Sealed(const std::string& text, int row, int utf8, bool base64) {
  std::string out;
  Des_Crypt(text, kSeal, row, utf8, base64, out);
  return out;
}

std::string Opened(const std::string& text, int row, int utf8, bool base64) {
  std::string out = "caller's value";
  Des_Crypt(text, kOpen, row, utf8, base64, out);
  return out;
}

std::string Utf8(std::u8string_view text) { return std::string(text.begin(), text.end()); }

}  // namespace

TEST(Envelope, SealsAsDesCbcWithPkcs5PaddingUnderEachRow) {
  const std::string texts[] = {"", "a", "1234567", "12345678", "123456789", "name=value&x=1\r\n",
                               std::string(1000, 'z')};
  for (int row = 0; row < 4; ++row) {
    for (const auto& text : texts) {
      const std::string expected = OpenSslSeal(text, row);
      EXPECT_EQ(Sealed(text, row, 0, false), expected) << "row " << row << " " << text.size() << " bytes";
      EXPECT_EQ(Sealed(text, row, 0, true), Base64_Encode(expected)) << "row " << row;
    }
  }
}

TEST(Envelope, SealedSizesFollowThePadding) {
  // The empty text is one whole block of padding: 8 bytes, 12 characters.
  const std::string empty = Sealed("", 1, 1, true);
  EXPECT_EQ(empty.size(), 12u);
  EXPECT_EQ(empty.back(), '=');
  EXPECT_EQ(OpenSslOpen(Base64_Decode(empty), 1), std::string(8, '\x08'));
  // Eight bytes gain a whole block: 16 bytes, 24 characters.
  EXPECT_EQ(Sealed("12345678", 1, 1, true).size(), 24u);
  EXPECT_EQ(Sealed("1234567", 1, 1, false).size(), 8u);
}

TEST(Envelope, Utf8SwitchSealsUtf8AndOpensBackToGbk) {
  const std::string text = "bar=网吧Tollimer&name=任子行（Rzx）\r\nv=7";
  const std::string sealed = Sealed(text, 1, 1, true);
  // The cipher carries UTF-8, which is what the central service reads.
  const std::string plain = OpenSslOpen(Base64_Decode(sealed), 1);
  EXPECT_EQ(plain.substr(0, plain.size() - static_cast<unsigned char>(plain.back())),
            Utf8(u8"bar=网吧Tollimer&name=任子行（Rzx）\r\nv=7"));
  EXPECT_EQ(Opened(sealed, 1, 1, true), text);
  // Without the switch the GBK bytes themselves are sealed.
  EXPECT_EQ(Sealed(text, 3, 0, true), Base64_Encode(OpenSslSeal(text, 3)));
  EXPECT_EQ(Opened(Sealed(text, 3, 0, true), 3, 0, true), text);
}

TEST(Envelope, OpeningDropsEveryByteOfValueZeroToEight) {
  // What the central service relies on: padding goes, and so do control bytes
  // 0..8 anywhere in the text; tab, LF and CR stay.
  const std::string text("a\x01" "b\tc\nd\re\x08" "f\0g", 13);
  EXPECT_EQ(Opened(Base64_Encode(OpenSslSeal(text, 3)), 3, 0, true), "ab\tc\nd\refg");
  EXPECT_EQ(Opened(OpenSslSeal(text, 3), 3, 0, false), "ab\tc\nd\refg");
  // A text that is all such bytes opens to nothing.
  EXPECT_EQ(Opened(OpenSslSeal(std::string(16, '\x05'), 0), 0, 0, false), "");
}

TEST(Envelope, OpensBase64BrokenOverLines) {
  const std::string sealed = Sealed("ExpCofig=31\r\nParamRefreshMinutes=180", 1, 1, true);
  std::string broken;
  for (std::size_t i = 0; i < sealed.size(); i += 10) {
    broken += ' ';
    broken += sealed.substr(i, 10);
    broken += "\r\n";
  }
  EXPECT_EQ(Opened(broken, 1, 1, true), Opened(sealed, 1, 1, true));
  EXPECT_EQ(Opened(broken, 1, 1, true), "ExpCofig=31\r\nParamRefreshMinutes=180");
}

TEST(Envelope, OpeningWhatIsNotWholeBlocks) {
  // 12 decoded bytes: not whole blocks, the caller's value stays.
  EXPECT_EQ(Opened(Base64_Encode("123456789012"), 1, 1, true), "caller's value");
  EXPECT_EQ(Opened("123456789012", 1, 0, false), "caller's value");
  // Invalid Base64 decodes to nothing, which opens to nothing.
  EXPECT_EQ(Opened("ABCDE", 1, 1, true), "");
  EXPECT_EQ(Opened("AB\r\nC DE", 1, 1, true), "");
  EXPECT_EQ(Opened("", 1, 1, true), "");
}

TEST(Envelope, AnyDirectionButOneOpens) {
  const std::string sealed = Sealed("blacklist line", 3, 0, true);
  for (int direction : {0, 2, -1, 3, INT_MIN}) {
    std::string out;
    Des_Crypt(sealed, direction, 3, 0, true, out);
    EXPECT_EQ(out, "blacklist line") << direction;
  }
}

TEST(Envelope, KeyRowOutsideTheTableGivesNothing) {
  for (int row : {-1, 4, INT_MAX, INT_MIN}) {
    EXPECT_EQ(Sealed("text", row, 1, true), "") << row;
    EXPECT_EQ(Opened(Sealed("text", 1, 1, true), row, 1, true), "") << row;
  }
}

TEST(Envelope, OpensGarbageAndWrongRowsWithoutFailing) {
  std::mt19937 gen(5);
  for (int i = 0; i < 300; ++i) {
    std::string bytes(8 * (gen() % 8), '\0');
    for (auto& c : bytes) c = static_cast<char>(gen());
    const int row = static_cast<int>(gen() % 4);
    std::string out = "x";
    Des_Crypt(bytes, kOpen, row, 0, false, out);
    for (unsigned char c : out) ASSERT_GT(c, 8);
    Des_Crypt(bytes, kOpen, row, 1, false, out);  // not UTF-8 once opened: "?" stand-ins
    Des_Crypt(bytes, kOpen, row, 1, true, out);
  }
  // Wrong row: deciphers to something else, silently.
  EXPECT_NE(Opened(Sealed("secret", 1, 0, true), 3, 0, true), "secret");
}
