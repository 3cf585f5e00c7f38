// The machine values on the machine the test runs on: the MAC text is always
// 12 upper-case hex digits, the report's and the service's form of the
// cashier PC's address.
#include <gtest/gtest.h>

#include <string>

#include "app/machine_values.h"

namespace {

TEST(ReadMachineValues, MacTextIsTwelveUpperCaseHexDigits) {
  const std::string mac = ReadMachineValues("C:\\").macText;
  ASSERT_EQ(mac.size(), 12u) << mac;
  for (char c : mac) EXPECT_TRUE((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F')) << mac;
}

}  // namespace
