// The native tree converts with GBK as the ANSI code page, as the cashier PCs do.
#include "crypto/codepage.h"

#include <gtest/gtest.h>

#include <string>

#include "fakes/gbk_samples.h"

TEST(CodePage, ConvertsGbkTextBothWays) {
  for (const auto& c : GbkSamples()) {
    EXPECT_EQ(Ansi_ToUtf8(c.gbk), c.utf8) << c.utf8;
    EXPECT_EQ(Utf8_ToAnsi(c.utf8), c.gbk) << c.utf8;
  }
  ASSERT_EQ(std::string("网吧"), "\xCD\xF8\xB0\xC9");  // the literals really are GBK
}

TEST(CodePage, InputEndsAtItsFirstNul) {
  EXPECT_EQ(Ansi_ToUtf8(std::string("网\0吧", 5)), Utf8(u8"网"));
  EXPECT_EQ(Utf8_ToAnsi(Utf8(u8"网\0吧")), "网");
  EXPECT_EQ(Ansi_ToUtf8(std::string("\0abc", 4)), "");
}

TEST(CodePage, WhatGbkCannotHoldBecomesTheDefaultCharacter) {
  const struct {
    std::string utf8;
    std::string gbk;
  } kCases[] = {
      {Utf8(u8"a😀b"), "a?b"},         // outside the BMP: one "?" for four bytes
      {Utf8(u8"网กข吧"), "网??吧"},    // Thai
      {"a\xFF" "b", "a?b"},            // not UTF-8 at all
      {"\xE7\xBD", "?"},               // a character cut short at the end
  };
  for (const auto& c : kCases) EXPECT_EQ(Utf8_ToAnsi(c.utf8), c.gbk) << c.utf8;
  // A lead byte with no trail byte: the rest still converts.
  EXPECT_EQ(Ansi_ToUtf8("ab\xCD"), "ab?");
}

TEST(CodePage, LargeInputsConvertWhole) {
  const GbkSample big = RepeatedSample(50000);
  EXPECT_EQ(Ansi_ToUtf8(big.gbk), big.utf8);
  EXPECT_EQ(Utf8_ToAnsi(big.utf8), big.gbk);
  // Many replacements in a row.
  EXPECT_EQ(Utf8_ToAnsi(std::string(100000, '\xFF')), std::string(100000, '?'));
}
