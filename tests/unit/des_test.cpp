#include "crypto/des.h"

#include <gtest/gtest.h>

// OpenSSL 3 keeps DES only in its deprecated low-level API; it serves here as
// the independent implementation to compare with.
#define OPENSSL_SUPPRESS_DEPRECATED
#include <openssl/des.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "util/hex.h"

namespace {

TDesBlock Block(std::uint64_t v) {
  TDesBlock b;
  for (int i = 7; i >= 0; --i, v >>= 8) b[i] = static_cast<std::uint8_t>(v);
  return b;
}

TDesBlock Enciphered(std::uint64_t key, std::uint64_t plain) {
  TDesBlock block = Block(plain);
  Des_Block(Des_KeySchedule(Block(key), TDesDirection::Encipher), block);
  return block;
}

TDesBlock Deciphered(std::uint64_t key, std::uint64_t cipher) {
  TDesBlock block = Block(cipher);
  Des_Block(Des_KeySchedule(Block(key), TDesDirection::Decipher), block);
  return block;
}

TDesBlock RandomBlock(std::mt19937_64& gen) { return Block(gen()); }

}  // namespace

// Known answers from FIPS 81 and NBS SP 500-20 (initial permutation, variable
// key, permutation and substitution tests).
TEST(Des, MatchesPublishedVectors) {
  const struct {
    std::uint64_t key, plain, cipher;
  } kCases[] = {
      {0x0123456789ABCDEF, 0x4E6F772069732074, 0x3FA40E8A984D4815},  // "Now is t"
      {0x133457799BBCDFF1, 0x0123456789ABCDEF, 0x85E813540F0AB405},
      {0x0101010101010101, 0x8000000000000000, 0x95F8A5E5DD31D900},
      {0x0101010101010101, 0x4000000000000000, 0xDD7F121CA5015619},
      {0x0101010101010101, 0x0000000000000001, 0x166B40B44ABA4BD6},
      {0x8001010101010101, 0x0000000000000000, 0x95A8D72813DAA94D},
      {0x0000000000000000, 0x0000000000000000, 0x8CA64DE9C1B123A7},
      {0x1046913489980131, 0x0000000000000000, 0x88D55E54F54C97B4},
      {0x7CA110454A1A6E57, 0x01A1D6D039776742, 0x690F5B0D9A26939B},
      {0x0131D9619DC1376E, 0x5CD54CA83DEF57DA, 0x7A389D10354BD271},
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(Enciphered(c.key, c.plain), Block(c.cipher)) << std::hex << c.key << ' ' << c.plain;
    EXPECT_EQ(Deciphered(c.key, c.cipher), Block(c.plain)) << std::hex << c.key << ' ' << c.cipher;
  }
}

TEST(Des, IgnoresTheKeyParityBits) {
  // Flipping the low bit of every key byte changes nothing.
  EXPECT_EQ(Enciphered(0x133457799BBCDFF1 ^ 0x0101010101010101, 0x0123456789ABCDEF),
            Block(0x85E813540F0AB405));
}

TEST(Des, SingleBlocksEqualOpenSsl) {
  std::mt19937_64 gen(46);
  for (int i = 0; i < 500; ++i) {
    TDesBlock key = RandomBlock(gen), plain = RandomBlock(gen);
    DES_cblock keyBytes;
    std::memcpy(keyBytes, key.data(), 8);
    DES_key_schedule theirs;
    DES_set_key_unchecked(&keyBytes, &theirs);

    TDesBlock expected;
    DES_ecb_encrypt(reinterpret_cast<const_DES_cblock*>(plain.data()),
                    reinterpret_cast<DES_cblock*>(expected.data()), &theirs, DES_ENCRYPT);
    TDesBlock block = plain;
    Des_Block(Des_KeySchedule(key, TDesDirection::Encipher), block);
    ASSERT_EQ(block, expected) << "case " << i;
    Des_Block(Des_KeySchedule(key, TDesDirection::Decipher), block);
    ASSERT_EQ(block, plain) << "case " << i;
  }
}

// FIPS 81, CBC example: key 0123456789ABCDEF, IV 1234567890ABCDEF.
TEST(DesCbc, MatchesTheFips81Example) {
  const auto key = hex::ToBytes<8>("0123456789ABCDEF");
  const auto iv = hex::ToBytes<8>("1234567890ABCDEF");
  const std::string plain = "Now is the time for all ";
  const TDesBlock expected[3] = {Block(0xE5C7CDDE872BF27C), Block(0x43E934008C389C0F),
                                 Block(0x683788499A7C05F6)};

  TDesBlock chain = iv;
  auto schedule = Des_KeySchedule(key, TDesDirection::Encipher);
  std::vector<TDesBlock> cipher;
  for (int i = 0; i < 3; ++i) {
    TDesBlock block;
    std::memcpy(block.data(), plain.data() + 8 * i, 8);
    Des_CbcStep(schedule, chain, block);
    EXPECT_EQ(block, expected[i]) << "block " << i;
    EXPECT_EQ(chain, block);
    cipher.push_back(block);
  }

  chain = iv;
  schedule = Des_KeySchedule(key, TDesDirection::Decipher);
  std::string opened;
  for (auto block : cipher) {
    Des_CbcStep(schedule, chain, block);
    opened.append(block.begin(), block.end());
  }
  EXPECT_EQ(opened, plain);
}

TEST(DesCbc, ChainsLikeOpenSsl) {
  std::mt19937_64 gen(81);
  for (int blocks : {1, 2, 7, 64}) {
    const TDesBlock key = RandomBlock(gen), iv = RandomBlock(gen);
    std::vector<std::uint8_t> plain(8 * blocks);
    for (auto& b : plain) b = static_cast<std::uint8_t>(gen());

    DES_cblock keyBytes, ivBytes;
    std::memcpy(keyBytes, key.data(), 8);
    std::memcpy(ivBytes, iv.data(), 8);
    DES_key_schedule theirs;
    DES_set_key_unchecked(&keyBytes, &theirs);
    std::vector<std::uint8_t> expected(plain.size());
    DES_ncbc_encrypt(plain.data(), expected.data(), static_cast<long>(plain.size()), &theirs, &ivBytes,
                     DES_ENCRYPT);

    std::vector<std::uint8_t> ours;
    TDesBlock chain = iv;
    const auto seal = Des_KeySchedule(key, TDesDirection::Encipher);
    for (int i = 0; i < blocks; ++i) {
      TDesBlock block;
      std::memcpy(block.data(), plain.data() + 8 * i, 8);
      Des_CbcStep(seal, chain, block);
      ours.insert(ours.end(), block.begin(), block.end());
    }
    ASSERT_EQ(ours, expected) << blocks << " blocks";

    std::vector<std::uint8_t> opened;
    chain = iv;
    const auto open = Des_KeySchedule(key, TDesDirection::Decipher);
    for (int i = 0; i < blocks; ++i) {
      TDesBlock block;
      std::memcpy(block.data(), ours.data() + 8 * i, 8);
      Des_CbcStep(open, chain, block);
      opened.insert(opened.end(), block.begin(), block.end());
    }
    EXPECT_EQ(opened, plain) << blocks << " blocks";
  }
}
