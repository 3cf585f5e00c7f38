#include "crypto/md5.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "fakes/temp_dir.h"

namespace {

// OpenSSL's MD5, the independent check.
std::string OpenSslMd5Hex(const std::string& bytes) {
  unsigned char md[EVP_MAX_MD_SIZE];
  unsigned int len = 0;
  EXPECT_EQ(EVP_Digest(bytes.data(), bytes.size(), md, &len, EVP_md5(), nullptr), 1);
  TMD5Digest digest{};
  std::copy(md, md + 16, digest.begin());
  return MD5_Hex(digest);
}

std::string RandomBytes(std::size_t n, unsigned seed) {
  std::mt19937 gen(seed);
  std::string out(n, '\0');
  for (auto& c : out) c = static_cast<char>(gen());
  return out;
}

constexpr const char* kEmptyDigest = "d41d8cd98f00b204e9800998ecf8427e";

}  // namespace

TEST(MD5Text, MatchesTheRfc1321TestSuite) {
  const struct {
    const char* text;
    const char* digest;
  } kCases[] = {
      {"", "d41d8cd98f00b204e9800998ecf8427e"},
      {"a", "0cc175b9c0f1b6a831c399e269772661"},
      {"abc", "900150983cd24fb0d6963f7d28e17f72"},
      {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
      {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
      {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
       "d174ab98d277d9f5a5611c2c9f419d9f"},
      {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
       "57edf4a22be3c955ac49da2e2107b67a"},
  };
  for (const auto& c : kCases) EXPECT_EQ(MD5_Text(c.text), c.digest) << '"' << c.text << '"';
}

TEST(MD5Text, DigestsTheGbkBytesAsHeld) {
  const std::string text = "网吧";  // GBK: CD F8 B0 C9
  ASSERT_EQ(text, "\xCD\xF8\xB0\xC9");
  EXPECT_EQ(MD5_Text(text), OpenSslMd5Hex(text));
  // A NUL inside the text is digested too, no terminator is added.
  const std::string withNul("a\0b", 3);
  EXPECT_EQ(MD5_Text(withNul), OpenSslMd5Hex(withNul));
  EXPECT_NE(MD5_Text(withNul), MD5_Text("a"));
}

// Lengths around the padding boundaries (55/56: the length still fits in the
// last block or not; 63/64/65: block edges) and a buffer of many blocks.
TEST(MD5Digest, EqualsOpenSslAcrossBlockBoundaries) {
  for (std::size_t n : {0, 1, 55, 56, 57, 63, 64, 65, 119, 120, 127, 128, 1000, 3 * 1024 * 1024 + 7}) {
    std::string bytes = RandomBytes(n, static_cast<unsigned>(n));
    std::string hex = MD5_Text(bytes);
    EXPECT_EQ(hex, OpenSslMd5Hex(bytes)) << n << " bytes";
    ASSERT_EQ(hex.size(), 32u);
    EXPECT_EQ(hex.find_first_not_of("0123456789abcdef"), std::string::npos);
  }
}

TEST(MD5Context, PiecewiseFeedingEqualsOneCall) {
  const std::string bytes = RandomBytes(5000, 7);
  for (std::size_t piece : {1, 3, 55, 63, 64, 65, 1000}) {
    TMD5Context context;
    for (std::size_t at = 0; at < bytes.size(); at += piece) {
      context.Update(bytes.data() + at, std::min(piece, bytes.size() - at));
    }
    context.Update(nullptr, 0);
    EXPECT_EQ(MD5_Hex(context.Final()), OpenSslMd5Hex(bytes)) << "pieces of " << piece;
  }
}

TEST(MD5File, DigestsTheFileContent) {
  TempDir dir("md5_test");
  const std::string small = "Tollimer 网吧\r\n";
  EXPECT_EQ(MD5_File(dir.Write("small.wav", small)), OpenSslMd5Hex(small));
  // Larger than one read chunk, not a multiple of it.
  const std::string large = RandomBytes(5 * 1024 * 1024 + 17, 3);
  EXPECT_EQ(MD5_File(dir.Write("large.wav", large)), OpenSslMd5Hex(large));
  // A GBK file name.
  EXPECT_EQ(MD5_File(dir.Write("提示音.wav", small)), OpenSslMd5Hex(small));
}

TEST(MD5File, UnreadableOrEmptyFileGivesTheDigestOfNothing) {
  TempDir dir("md5_test");
  EXPECT_EQ(MD5_File(dir.Path("missing.wav")), kEmptyDigest);
  EXPECT_EQ(MD5_File(dir.Write("empty.wav", "")), kEmptyDigest);
  EXPECT_EQ(MD5_File(dir.Dir()), kEmptyDigest);  // a folder
  EXPECT_EQ(MD5_File(""), kEmptyDigest);
}
