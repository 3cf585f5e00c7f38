// DES (FIPS 46-3): the key schedule and one CBC block step, the two pieces the
// central-service envelope is built from. Module desmin of the system.
#pragma once
#include <array>
#include <cstdint>

using TDesBlock = std::array<std::uint8_t, 8>;

enum class TDesDirection { Encipher, Decipher };

// Sixteen round keys for one direction, each kept as eight 6-bit pieces that
// meet the eight S-boxes, already in the order the rounds use them.
struct TDesKeySchedule {
  std::uint8_t subkeys[16][8];
  TDesDirection direction;
};

// Round keys of an 8-byte key (the parity bit of each byte is ignored).
TDesKeySchedule Des_KeySchedule(const TDesBlock& key, TDesDirection direction);

// One block through the cipher in the schedule's direction, in place.
void Des_Block(const TDesKeySchedule& schedule, TDesBlock& block);

// One CBC step, in place. Enciphering: the block is XORed with `chain`,
// enciphered, and becomes the new chain. Deciphering: the block is
// deciphered and XORed with `chain`; the cipher block it was becomes the chain.
void Des_CbcStep(const TDesKeySchedule& schedule, TDesBlock& chain, TDesBlock& block);
