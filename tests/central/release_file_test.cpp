#include "central/release/release_file.h"

#include <gtest/gtest.h>

#include "crypto/crc32.h"
#include "central/service_client.h"

namespace {

TEST(Release, DescribesAWindowsExecutable) {
  const std::string x86 = FakeExecutable(0x14C, "32-bit build");
  const auto info = DescribeRelease(x86);
  ASSERT_TRUE(info);
  EXPECT_EQ(info->machine, "x86");
  EXPECT_EQ(info->size, static_cast<std::int64_t>(x86.size()));
  // The text the assistant computes of its own file: 8 upper-case digits.
  char crc[9];
  std::snprintf(crc, sizeof crc, "%08X", Crc32(0, x86.data(), x86.size()));
  EXPECT_EQ(info->crc, crc);
  EXPECT_EQ(info->md5.size(), 32u);
  EXPECT_EQ(DescribeRelease(FakeExecutable(0x8664, "64-bit build"))->machine, "x64");
  EXPECT_EQ(DescribeRelease(FakeExecutable(0xAA64, "arm"))->machine, "other");
}

TEST(Release, RefusesWhatTheAssistantCouldNotRun) {
  std::string peOutside = FakeExecutable(0x14C, "");
  peOutside[0x3C] = '\x7F';  // PE header offset beyond the end
  std::string noSignature = FakeExecutable(0x14C, "x");
  noSignature[0x41] = 'X';
  const std::string cases[] = {"", "MZ", std::string(4096, 'M'), "#!/bin/sh\necho hi\n" + std::string(100, ' '),
                               peOutside, noSignature};
  for (const std::string& bytes : cases) EXPECT_FALSE(DescribeRelease(bytes)) << bytes.substr(0, 10);
}

}  // namespace
