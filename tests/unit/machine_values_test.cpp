#include "app/machine_values.h"

#include <gtest/gtest.h>

#include <array>

namespace {

TEST(MachineValues, MacTextIsUpperCaseHexPairs) {
  const unsigned char address[] = {0x00, 0x15, 0x5d, 0x01, 0xab, 0xff};
  EXPECT_EQ(MacText(address, 6), "00155D01ABFF");
  EXPECT_EQ(MacText(address, 0), "");
}

TEST(MachineValues, DiskSerialSwapsEachPairAndTrimsBlanks) {
  struct Case {
    std::string readable;  // the 20 serial characters in reading order
    std::string serial;
  };
  const Case cases[] = {
      {"       WD-WCC1234567", "WD-WCC1234567"},
      {"ABCDEFGHIJKLMNOPQRST", "ABCDEFGHIJKLMNOPQRST"},
      {"S1 2" + std::string(16, ' '), "S1 2"},  // a blank inside stays
      {std::string(20, ' '), ""},
      {std::string(20, '\0'), ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.serial);
    // The drive answers with the bytes of every pair swapped, and other
    // identify words around the serial.
    std::array<unsigned char, 512> identify;
    identify.fill('#');
    for (std::size_t i = 0; i < 20; i += 2) {
      identify[20 + i] = static_cast<unsigned char>(c.readable[i + 1]);
      identify[21 + i] = static_cast<unsigned char>(c.readable[i]);
    }
    EXPECT_EQ(DiskSerialText(identify.data()), c.serial);
  }
}

TEST(MachineValues, FaceSoundInfoIsADashWithoutAFile) {
  EXPECT_EQ(FaceSoundInfo(0, "d41d8cd98f00b204e9800998ecf8427e"), "-");
  EXPECT_EQ(FaceSoundInfo(-1, ""), "-");
  EXPECT_EQ(FaceSoundInfo(5000000000LL, "0cc175b9c0f1b6a831c399e269772661"),
            "0cc175b9c0f1b6a831c399e269772661.5000000000");
}

}  // namespace
