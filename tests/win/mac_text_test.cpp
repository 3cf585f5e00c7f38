// ReadMacText on the machine it runs on: always 12 upper-case hex digits, the
// report's and the service's form of the cashier PC's address.
#include <gtest/gtest.h>

#include <string>

#include "app/mac_text.h"

namespace {

TEST(ReadMacText, TwelveUpperCaseHexDigits) {
  const std::string mac = ReadMacText();
  ASSERT_EQ(mac.size(), 12u) << mac;
  for (char c : mac) EXPECT_TRUE((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F')) << mac;
}

}  // namespace
