// CRC-32 of ZIP and PNG (IEEE 802.3, reflected, initial value and final
// complement all ones). The executable's checksum text is this CRC of its own
// file; the central service compares it with the current release.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

// Continues `crc` over `size` more bytes; start with 0. Crc32(0, "123456789", 9)
// is 0xCBF43926.
std::uint32_t Crc32(std::uint32_t crc, const void* data, std::size_t size);

// The file's CRC-32 as 8 upper-case hex digits, read in chunks. Empty when the
// file cannot be opened or read to its end, and when the CRC is 0: the caller
// logs an empty checksum, and the update check then treats the program as not
// the current release.
std::string Crc32FileText(const std::string& path);

// A CRC as 8 upper-case hex digits; empty for 0.
std::string Crc32Text(std::uint32_t crc);
