// MD5 digests (RFC 1321) printed as 32 lower-case hex digits: the billing
// packet's token is the MD5 of its send time, and the installation report
// carries a file fingerprint built with MD5_File.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

using TMD5Digest = std::array<std::uint8_t, 16>;

// Running digest, fed piece by piece (RFC 1321's MD5Init/MD5Update/MD5Final).
class TMD5Context {
 public:
  TMD5Context();
  void Update(const void* data, std::size_t size);
  TMD5Digest Final();  // the context is spent afterwards

 private:
  void Transform(const std::uint8_t block[64]);

  std::uint32_t state_[4];
  std::uint64_t length_ = 0;  // bytes fed so far
  std::uint8_t buffer_[64];
};

// Digest of `size` bytes.
TMD5Digest MD5_Digest(const void* data, std::size_t size);

// The 16 digest bytes in order, each as two lower-case hex digits.
std::string MD5_Hex(const TMD5Digest& digest);

// MD5 of the text's bytes exactly as held (GBK, no terminator), in hex.
std::string MD5_Text(std::string_view text);

// MD5 of a file's content, in hex. A file that cannot be opened or is empty
// gives the digest of empty input (d41d8cd98f00b204e9800998ecf8427e); callers
// that must tell those apart look at the file's size themselves.
std::string MD5_File(const std::string& path);
