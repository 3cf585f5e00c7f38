// MD5 as RFC 1321 describes it: 64-byte blocks, four rounds of sixteen steps,
// little-endian words, the bit length in the last 8 bytes of padding.
#include "crypto/md5.h"

#include <bit>
#include <cstring>

namespace {

// Per-step shift amounts, four per round.
constexpr int kShift[4][4] = {{7, 12, 17, 22}, {5, 9, 14, 20}, {4, 11, 16, 23}, {6, 10, 15, 21}};

// T[i] = floor(2^32 * |sin(i + 1)|), as tabulated in RFC 1321.
constexpr std::uint32_t kSine[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391};

}  // namespace

TMD5Context::TMD5Context() : state_{0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476}, buffer_{} {}

void TMD5Context::Transform(const std::uint8_t block[64]) {
  std::uint32_t x[16];
  for (int i = 0; i < 16; ++i) {
    x[i] = static_cast<std::uint32_t>(block[4 * i]) | static_cast<std::uint32_t>(block[4 * i + 1]) << 8 |
           static_cast<std::uint32_t>(block[4 * i + 2]) << 16 |
           static_cast<std::uint32_t>(block[4 * i + 3]) << 24;
  }
  std::uint32_t a = state_[0], b = state_[1], c = state_[2], d = state_[3];
  for (int i = 0; i < 64; ++i) {
    std::uint32_t f;
    int k;
    switch (i / 16) {
      case 0: f = (b & c) | (~b & d); k = i; break;
      case 1: f = (b & d) | (c & ~d); k = (5 * i + 1) % 16; break;
      case 2: f = b ^ c ^ d; k = (3 * i + 5) % 16; break;
      default: f = c ^ (b | ~d); k = (7 * i) % 16; break;
    }
    std::uint32_t next = b + std::rotl(a + f + x[k] + kSine[i], kShift[i / 16][i % 4]);
    a = d;
    d = c;
    c = b;
    b = next;
  }
  state_[0] += a;
  state_[1] += b;
  state_[2] += c;
  state_[3] += d;
}

void TMD5Context::Update(const void* data, std::size_t size) {
  if (size == 0) return;
  auto* bytes = static_cast<const std::uint8_t*>(data);
  std::size_t have = static_cast<std::size_t>(length_ % 64);
  length_ += size;
  if (have > 0) {
    std::size_t take = size < 64 - have ? size : 64 - have;
    std::memcpy(buffer_ + have, bytes, take);
    bytes += take;
    size -= take;
    if (have + take < 64) return;
    Transform(buffer_);
  }
  for (; size >= 64; bytes += 64, size -= 64) Transform(bytes);
  if (size > 0) std::memcpy(buffer_, bytes, size);
}

TMD5Digest TMD5Context::Final() {
  std::uint64_t bits = length_ * 8;
  std::uint8_t pad[72] = {0x80};
  std::size_t have = static_cast<std::size_t>(length_ % 64);
  std::size_t padLen = (have < 56 ? 56 : 120) - have;
  for (int i = 0; i < 8; ++i) pad[padLen + i] = static_cast<std::uint8_t>(bits >> (8 * i));
  Update(pad, padLen + 8);
  TMD5Digest digest;
  for (int i = 0; i < 16; ++i) digest[i] = static_cast<std::uint8_t>(state_[i / 4] >> (8 * (i % 4)));
  return digest;
}

TMD5Digest MD5_Digest(const void* data, std::size_t size) {
  TMD5Context context;
  context.Update(data, size);
  return context.Final();
}

std::string MD5_Hex(const TMD5Digest& digest) {
  constexpr char kDigits[] = "0123456789abcdef";
  std::string out(32, '0');
  for (int i = 0; i < 16; ++i) {
    out[2 * i] = kDigits[digest[i] >> 4];
    out[2 * i + 1] = kDigits[digest[i] & 15];
  }
  return out;
}

std::string MD5_Text(std::string_view text) { return MD5_Hex(MD5_Digest(text.data(), text.size())); }
