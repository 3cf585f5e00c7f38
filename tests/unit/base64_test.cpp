#include "crypto/base64.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <random>
#include <string>

namespace {

std::string RandomBytes(std::size_t n, std::mt19937& gen) {
  std::string out(n, '\0');
  for (auto& c : out) c = static_cast<char>(gen());
  return out;
}

// OpenSSL's encoder writes one line with "=" padding as well.
std::string OpenSslBase64(const std::string& bytes) {
  std::string out(4 * ((bytes.size() + 2) / 3) + 1, '\0');
  int n = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                          reinterpret_cast<const unsigned char*>(bytes.data()), static_cast<int>(bytes.size()));
  out.resize(static_cast<std::size_t>(n));
  return out;
}

}  // namespace

TEST(Base64, EncodesAndDecodesTheRfc4648Vectors) {
  const struct {
    const char* bytes;
    const char* text;
  } kCases[] = {{"", ""},         {"f", "Zg=="},         {"fo", "Zm8="},       {"foo", "Zm9v"},
                {"foob", "Zm9vYg=="}, {"fooba", "Zm9vYmE="}, {"foobar", "Zm9vYmFy"}};
  for (const auto& c : kCases) {
    EXPECT_EQ(Base64_Encode(c.bytes), c.text);
    EXPECT_EQ(Base64_Decode(c.text), c.bytes);
  }
}

TEST(Base64, EncodesLikeOpenSslAndDecodesBack) {
  std::mt19937 gen(4648);
  for (std::size_t n = 0; n < 70; ++n) {
    const std::string bytes = RandomBytes(n, gen);
    const std::string text = Base64_Encode(bytes);
    EXPECT_EQ(text, OpenSslBase64(bytes)) << n << " bytes";
    EXPECT_EQ(Base64_Decode(text), bytes) << n << " bytes";
  }
  const std::string large = RandomBytes(3 * 1024 * 1024 + 1, gen);
  const std::string text = Base64_Encode(large);
  EXPECT_EQ(text.find_first_of("\r\n"), std::string::npos);  // one unbroken line
  EXPECT_EQ(text, OpenSslBase64(large));
  EXPECT_EQ(Base64_Decode(text), large);
}

// What is left after dropping characters outside the alphabet must be whole
// groups of four, with "=" closing the last group only.
TEST(Base64, DecodesOnlyValidTextElseNothing) {
  const struct {
    std::string text;
    std::string bytes;  // empty: rejected (or nothing to decode)
  } kCases[] = {
      // Characters outside the alphabet vanish.
      {"Zm9v\r\nYmFy\r\n", "foobar"},
      {"  Zm 9v\tYm\nFy ", "foobar"},
      {"Zm9v*YmFy!", "foobar"},
      {"Zm9v网吧YmFy", "foobar"},      // GBK bytes are all 0x80 and above
      {"Zm\r\n8=", "fo"},
      {"\r\n \t", ""},
      {"", ""},
      // Length after filtering not a multiple of 4.
      {"Zm9vY", ""},
      {"Zm9\r\nvY", ""},
      {"Zg=", ""},
      {"Zm9vYmFy=", ""},
      // "=" misplaced.
      {"Zg=a", ""},       // a third "=" without a fourth
      {"Z===", ""},
      {"====", ""},
      {"=Zg=", ""},
      {"Zg==Zm9v", ""},   // padding before the last group
      {"Zm9=YmFy", ""},
      {"Zm9v====", ""},
  };
  for (const auto& c : kCases) EXPECT_EQ(Base64_Decode(c.text), c.bytes) << '"' << c.text << '"';
}

TEST(Base64, TakesAnyBytesWithoutFailing) {
  std::mt19937 gen(1);
  const std::string pieces[] = {"=", "A", "/", "\r\n", "\xFF", "Zm9v"};
  for (int i = 0; i < 2000; ++i) {
    std::string text = RandomBytes(gen() % 16, gen);
    for (int k = gen() % 12; k > 0; --k) text += pieces[gen() % std::size(pieces)];
    const std::string bytes = Base64_Decode(text);
    EXPECT_LE(bytes.size() * 4, text.size() * 3);
  }
}
