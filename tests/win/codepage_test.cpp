// The code-page conversions over the real Win32 calls, under code page 936
// (GBK) as on the cashier PCs: Chinese text both ways, the default character
// for what GBK lacks, and the input ending at its first NUL.
#include <gtest/gtest.h>

#include <string>

#include "crypto/codepage.h"
#include "fakes/gbk_samples.h"

// Declared here so the test needs no <windows.h>.
extern "C" __attribute__((dllimport, stdcall)) unsigned int GetACP(void);

TEST(CodePageWin, ConvertsGbkTextBothWays) {
  ASSERT_EQ(GetACP(), 936u) << "run under a prefix with code page 936 (see WINE-NOTES.md)";
  for (const auto& c : GbkSamples()) {
    EXPECT_EQ(Ansi_ToUtf8(c.gbk), c.utf8) << c.gbk;
    EXPECT_EQ(Utf8_ToAnsi(c.utf8), c.gbk) << c.gbk;
  }
}

TEST(CodePageWin, InputEndsAtItsFirstNul) {
  ASSERT_EQ(GetACP(), 936u);
  EXPECT_EQ(Ansi_ToUtf8(std::string("网\0吧", 5)), Utf8(u8"网"));
  EXPECT_EQ(Utf8_ToAnsi(Utf8(u8"网\0吧")), "网");
  EXPECT_EQ(Ansi_ToUtf8(std::string("\0abc", 4)), "");
}

TEST(CodePageWin, WhatGbkCannotHoldBecomesTheDefaultCharacter) {
  ASSERT_EQ(GetACP(), 936u);
  // Out of the macros: their messages quote the expression as a GBK literal,
  // which cannot hold Thai.
  const std::string thai = Utf8(u8"网กข吧");
  EXPECT_EQ(Utf8_ToAnsi(thai), "网??吧");
  EXPECT_EQ(Utf8_ToAnsi("a\xFF" "b"), "a?b");  // not UTF-8 at all
}

TEST(CodePageWin, LargeInputsConvertWhole) {
  ASSERT_EQ(GetACP(), 936u);
  const GbkSample big = RepeatedSample(50000);
  EXPECT_EQ(Ansi_ToUtf8(big.gbk), big.utf8);
  EXPECT_EQ(Utf8_ToAnsi(big.utf8), big.gbk);
}
