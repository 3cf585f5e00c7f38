#include "net/target_file.h"

#include <gtest/gtest.h>


namespace {

TEST(FoldersLeadingTo, CutsAtSeparatorsButNeverInsideAChineseName) {
  // "乗" and "俓" are GBK characters whose second byte is 0x5C, the byte of
  // "\": read byte by byte they would split the folder name in two.
  const std::string tricky = "乗俓";  // compiled as GBK
  ASSERT_EQ(tricky, "\x81\x5C\x82\x5C");
  struct Case {
    std::string path;
    bool backslash;
    std::vector<std::string> folders;
  };
  const Case cases[] = {
      {"C:\\a\\b\\f.exe", true, {"C:", "C:\\a", "C:\\a\\b"}},
      {"C:\\" + tricky + "\\f.exe", true, {"C:", "C:\\" + tricky}},
      {"C:/" + tricky + "/f", true, {"C:", "C:/" + tricky}},
      {"f.exe", true, {}},
      {"/tmp/x\\y/f", false, {"/tmp", "/tmp/x\\y"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(FoldersLeadingTo(c.path, c.backslash), c.folders);
  }
}

}  // namespace
