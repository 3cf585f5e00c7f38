#include "crypto/crc32.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "fakes/temp_dir.h"

namespace {

std::uint32_t Crc(const std::string& bytes) { return Crc32(0, bytes.data(), bytes.size()); }

}  // namespace

TEST(Crc32, MatchesTheStandardCheckValues) {
  const struct {
    std::string bytes;
    std::uint32_t crc;
  } kCases[] = {
      {"", 0x00000000},
      {"a", 0xE8B7BE43},
      {"123456789", 0xCBF43926},  // the catalogue's check value of CRC-32/ISO-HDLC
      {"The quick brown fox jumps over the lazy dog", 0x414FA339},
      {std::string(32, '\0'), 0x190A55AD},
      {std::string(32, '\xFF'), 0xFF6CAB0B},
  };
  for (const auto& c : kCases) EXPECT_EQ(Crc(c.bytes), c.crc) << '"' << c.bytes << '"';
}

TEST(Crc32, ContinuesOverPieces) {
  std::mt19937 gen(32);
  std::string bytes(100000, '\0');
  for (auto& c : bytes) c = static_cast<char>(gen());
  std::uint32_t crc = 0;
  for (std::size_t at = 0; at < bytes.size(); at += 777) {
    crc = Crc32(crc, bytes.data() + at, std::min<std::size_t>(777, bytes.size() - at));
  }
  EXPECT_EQ(crc, Crc(bytes));
  EXPECT_EQ(Crc32(crc, nullptr, 0), crc);
}

TEST(Crc32FileText, IsEightUpperCaseDigitsOfTheFileCrc) {
  TempDir dir("crc32_test");
  EXPECT_EQ(Crc32FileText(dir.Write("check.exe", "123456789")), "CBF43926");
  EXPECT_EQ(Crc32FileText(dir.Write("small.exe", "a")), "E8B7BE43");
  EXPECT_EQ(Crc32FileText(dir.Write("zeros.exe", "Tollimer168")), "0008A427");  // leading zeros kept
  std::mt19937 gen(7);
  std::string large(3 * 64 * 1024 + 5, '\0');  // several read chunks and a part
  for (auto& c : large) c = static_cast<char>(gen());
  char expected[9];
  std::snprintf(expected, sizeof expected, "%08X", Crc(large));
  EXPECT_EQ(Crc32FileText(dir.Write("large.exe", large)), expected);
  EXPECT_EQ(Crc32FileText(dir.Write("网吧Tollimer.exe", "123456789")), "CBF43926");  // GBK name
}

TEST(Crc32FileText, IsEmptyWhenTheFileCannotBeReadOrTheCrcIsZero) {
  TempDir dir("crc32_test");
  EXPECT_EQ(Crc32FileText(dir.Path("missing.exe")), "");
  EXPECT_EQ(Crc32FileText(dir.Path("")), "");          // a folder
  EXPECT_EQ(Crc32FileText(dir.Write("empty.exe", "")), "");  // CRC 0
  EXPECT_EQ(Crc32FileText(""), "");
}
