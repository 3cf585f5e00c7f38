// DES after FIPS 46-3. The tables below are the standard's, bit 1 being the
// most significant bit of the first byte. The permutations of whole blocks and
// the S-box-then-P step are expanded into lookup tables while compiling, so a
// round is eight lookups and the tables stay readable as printed in FIPS 46-3.
#include "crypto/des.h"

#include <bit>

namespace {

constexpr std::uint8_t kInitialPermutation[64] = {
    58, 50, 42, 34, 26, 18, 10, 2, 60, 52, 44, 36, 28, 20, 12, 4,
    62, 54, 46, 38, 30, 22, 14, 6, 64, 56, 48, 40, 32, 24, 16, 8,
    57, 49, 41, 33, 25, 17, 9,  1, 59, 51, 43, 35, 27, 19, 11, 3,
    61, 53, 45, 37, 29, 21, 13, 5, 63, 55, 47, 39, 31, 23, 15, 7};

constexpr std::uint8_t kFinalPermutation[64] = {
    40, 8, 48, 16, 56, 24, 64, 32, 39, 7, 47, 15, 55, 23, 63, 31,
    38, 6, 46, 14, 54, 22, 62, 30, 37, 5, 45, 13, 53, 21, 61, 29,
    36, 4, 44, 12, 52, 20, 60, 28, 35, 3, 43, 11, 51, 19, 59, 27,
    34, 2, 42, 10, 50, 18, 58, 26, 33, 1, 41, 9,  49, 17, 57, 25};

constexpr std::uint8_t kPermutationP[32] = {16, 7, 20, 21, 29, 12, 28, 17, 1,  15, 23,
                                            26, 5, 18, 31, 10, 2,  8,  24, 14, 32, 27,
                                            3,  9, 19, 13, 30, 6,  22, 11, 4,  25};

constexpr std::uint8_t kPermutedChoice1[56] = {
    57, 49, 41, 33, 25, 17, 9,  1,  58, 50, 42, 34, 26, 18, 10, 2,  59, 51, 43,
    35, 27, 19, 11, 3,  60, 52, 44, 36, 63, 55, 47, 39, 31, 23, 15, 7,  62, 54,
    46, 38, 30, 22, 14, 6,  61, 53, 45, 37, 29, 21, 13, 5,  28, 20, 12, 4};

constexpr std::uint8_t kPermutedChoice2[48] = {
    14, 17, 11, 24, 1,  5,  3,  28, 15, 6,  21, 10, 23, 19, 12, 4,
    26, 8,  16, 7,  27, 20, 13, 2,  41, 52, 31, 37, 47, 55, 30, 40,
    51, 45, 33, 48, 44, 49, 39, 56, 34, 53, 46, 42, 50, 36, 29, 32};

constexpr int kKeyShifts[16] = {1, 1, 2, 2, 2, 2, 2, 2, 1, 2, 2, 2, 2, 2, 2, 1};

// S1..S8, each four rows of sixteen.
constexpr std::uint8_t kSBoxes[8][64] = {
    {14, 4,  13, 1, 2,  15, 11, 8,  3,  10, 6,  12, 5,  9,  0, 7,
     0,  15, 7,  4, 14, 2,  13, 1,  10, 6,  12, 11, 9,  5,  3, 8,
     4,  1,  14, 8, 13, 6,  2,  11, 15, 12, 9,  7,  3,  10, 5, 0,
     15, 12, 8,  2, 4,  9,  1,  7,  5,  11, 3,  14, 10, 0,  6, 13},
    {15, 1,  8,  14, 6,  11, 3,  4,  9,  7, 2,  13, 12, 0, 5,  10,
     3,  13, 4,  7,  15, 2,  8,  14, 12, 0, 1,  10, 6,  9, 11, 5,
     0,  14, 7,  11, 10, 4,  13, 1,  5,  8, 12, 6,  9,  3, 2,  15,
     13, 8,  10, 1,  3,  15, 4,  2,  11, 6, 7,  12, 0,  5, 14, 9},
    {10, 0,  9,  14, 6, 3,  15, 5,  1,  13, 12, 7,  11, 4,  2,  8,
     13, 7,  0,  9,  3, 4,  6,  10, 2,  8,  5,  14, 12, 11, 15, 1,
     13, 6,  4,  9,  8, 15, 3,  0,  11, 1,  2,  12, 5,  10, 14, 7,
     1,  10, 13, 0,  6, 9,  8,  7,  4,  15, 14, 3,  11, 5,  2,  12},
    {7,  13, 14, 3, 0,  6,  9,  10, 1,  2, 8, 5,  11, 12, 4,  15,
     13, 8,  11, 5, 6,  15, 0,  3,  4,  7, 2, 12, 1,  10, 14, 9,
     10, 6,  9,  0, 12, 11, 7,  13, 15, 1, 3, 14, 5,  2,  8,  4,
     3,  15, 0,  6, 10, 1,  13, 8,  9,  4, 5, 11, 12, 7,  2,  14},
    {2,  12, 4,  1,  7,  10, 11, 6,  8,  5,  3,  15, 13, 0, 14, 9,
     14, 11, 2,  12, 4,  7,  13, 1,  5,  0,  15, 10, 3,  9, 8,  6,
     4,  2,  1,  11, 10, 13, 7,  8,  15, 9,  12, 5,  6,  3, 0,  14,
     11, 8,  12, 7,  1,  14, 2,  13, 6,  15, 0,  9,  10, 4, 5,  3},
    {12, 1,  10, 15, 9, 2,  6,  8,  0,  13, 3,  4,  14, 7,  5,  11,
     10, 15, 4,  2,  7, 12, 9,  5,  6,  1,  13, 14, 0,  11, 3,  8,
     9,  14, 15, 5,  2, 8,  12, 3,  7,  0,  4,  10, 1,  13, 11, 6,
     4,  3,  2,  12, 9, 5,  15, 10, 11, 14, 1,  7,  6,  0,  8,  13},
    {4,  11, 2,  14, 15, 0, 8,  13, 3,  12, 9, 7,  5,  10, 6, 1,
     13, 0,  11, 7,  4,  9, 1,  10, 14, 3,  5, 12, 2,  15, 8, 6,
     1,  4,  11, 13, 12, 3, 7,  14, 10, 15, 6, 8,  0,  5,  9, 2,
     6,  11, 13, 8,  1,  4, 10, 7,  9,  5,  0, 15, 14, 2,  3, 12},
    {13, 2,  8,  4, 6,  15, 11, 1,  10, 9,  3,  14, 5,  0,  12, 7,
     1,  15, 13, 8, 10, 3,  7,  4,  12, 5,  6,  11, 0,  14, 9,  2,
     7,  11, 4,  1, 9,  12, 14, 2,  0,  6,  10, 13, 15, 3,  5,  8,
     2,  1,  14, 7, 4,  10, 8,  13, 15, 12, 9,  0,  3,  5,  6,  11}};

// A 64-bit permutation as eight tables, one per input byte: the output is the
// OR of the eight entries the input's bytes select.
using TBlockPermutation = std::array<std::array<std::uint64_t, 256>, 8>;

consteval TBlockPermutation ExpandPermutation(const std::uint8_t (&table)[64]) {
  TBlockPermutation out{};
  for (int to = 0; to < 64; ++to) {
    int from = table[to] - 1;
    for (int value = 0; value < 256; ++value) {
      if ((value >> (7 - from % 8)) & 1) out[from / 8][value] |= std::uint64_t{1} << (63 - to);
    }
  }
  return out;
}

// S-box i followed by P: entry [i][x] is P applied to S_i(x) standing in the
// four output bits of box i, so f() is the XOR of eight entries.
using TSpTable = std::array<std::array<std::uint32_t, 64>, 8>;

consteval TSpTable ExpandSBoxes() {
  TSpTable out{};
  for (int box = 0; box < 8; ++box) {
    for (int x = 0; x < 64; ++x) {
      int row = ((x >> 4) & 2) | (x & 1);  // outer bits 1 and 6
      int column = (x >> 1) & 15;          // inner bits 2..5
      std::uint32_t s = std::uint32_t{kSBoxes[box][row * 16 + column]} << (28 - 4 * box);
      std::uint32_t p = 0;
      for (int to = 0; to < 32; ++to) {
        if ((s >> (32 - kPermutationP[to])) & 1) p |= std::uint32_t{1} << (31 - to);
      }
      out[box][x] = p;
    }
  }
  return out;
}

constexpr TBlockPermutation kIp = ExpandPermutation(kInitialPermutation);
constexpr TBlockPermutation kFp = ExpandPermutation(kFinalPermutation);
constexpr TSpTable kSp = ExpandSBoxes();

std::uint64_t Permute(const TBlockPermutation& table, std::uint64_t v) {
  std::uint64_t out = 0;
  for (int i = 0; i < 8; ++i) out |= table[i][(v >> (56 - 8 * i)) & 0xFF];
  return out;
}

// The cipher function f(R, K). Expansion E hands box i the six bits of R at
// positions 4i .. 4i+5 (wrapping, bit 0 being bit 32), hence the rotations.
std::uint32_t RoundFunction(std::uint32_t r, const std::uint8_t subkey[8]) {
  std::uint32_t out = 0;
  for (int box = 0; box < 8; ++box) {
    std::uint32_t six = std::rotl(r, (4 * box + 31) % 32) >> 26;
    out ^= kSp[box][six ^ subkey[box]];
  }
  return out;
}

// Bit `position` (1 = most significant) of a value `width` bits wide.
std::uint64_t BitAt(std::uint64_t value, int width, int position) {
  return (value >> (width - position)) & 1;
}

std::uint64_t LoadBigEndian(const TDesBlock& block) {
  std::uint64_t v = 0;
  for (std::uint8_t b : block) v = v << 8 | b;
  return v;
}

void StoreBigEndian(std::uint64_t v, TDesBlock& block) {
  for (int i = 7; i >= 0; --i, v >>= 8) block[i] = static_cast<std::uint8_t>(v);
}

}  // namespace

TDesKeySchedule Des_KeySchedule(const TDesBlock& key, TDesDirection direction) {
  const std::uint64_t k = LoadBigEndian(key);
  std::uint64_t cd = 0;  // C then D, 28 bits each
  for (int i = 0; i < 56; ++i) cd = cd << 1 | BitAt(k, 64, kPermutedChoice1[i]);
  std::uint32_t c = static_cast<std::uint32_t>(cd >> 28);
  std::uint32_t d = static_cast<std::uint32_t>(cd & 0xFFFFFFF);

  TDesKeySchedule schedule{};
  schedule.direction = direction;
  for (int round = 0; round < 16; ++round) {
    int s = kKeyShifts[round];
    c = ((c << s) | (c >> (28 - s))) & 0xFFFFFFF;
    d = ((d << s) | (d >> (28 - s))) & 0xFFFFFFF;
    const std::uint64_t joined = std::uint64_t{c} << 28 | d;
    // Deciphering runs the same rounds with the round keys in reverse order.
    std::uint8_t* subkey = schedule.subkeys[direction == TDesDirection::Encipher ? round : 15 - round];
    for (int i = 0; i < 48; ++i) {
      subkey[i / 6] = static_cast<std::uint8_t>(subkey[i / 6] << 1 | BitAt(joined, 56, kPermutedChoice2[i]));
    }
  }
  return schedule;
}

void Des_Block(const TDesKeySchedule& schedule, TDesBlock& block) {
  const std::uint64_t v = Permute(kIp, LoadBigEndian(block));
  std::uint32_t left = static_cast<std::uint32_t>(v >> 32);
  std::uint32_t right = static_cast<std::uint32_t>(v);
  for (const auto& subkey : schedule.subkeys) {
    std::uint32_t next = left ^ RoundFunction(right, subkey);
    left = right;
    right = next;
  }
  // The last round's halves go to the final permutation swapped: R16 L16.
  StoreBigEndian(Permute(kFp, std::uint64_t{right} << 32 | left), block);
}

void Des_CbcStep(const TDesKeySchedule& schedule, TDesBlock& chain, TDesBlock& block) {
  if (schedule.direction == TDesDirection::Encipher) {
    for (int i = 0; i < 8; ++i) block[i] ^= chain[i];
    Des_Block(schedule, block);
    chain = block;
  } else {
    const TDesBlock cipher = block;
    Des_Block(schedule, block);
    for (int i = 0; i < 8; ++i) block[i] ^= chain[i];
    chain = cipher;
  }
}
