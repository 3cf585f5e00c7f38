#include "central/base/json_rows.h"

#include <gtest/gtest.h>

namespace {

TEST(JsonRows, TextFromTheFieldStaysOneStringValue) {
  const struct {
    std::string in;
    std::string out;
  } cases[] = {
      {"plain", "\"plain\""},
      {"say \"hi\"", "\"say \\\"hi\\\"\""},
      {"C:\\bar", "\"C:\\\\bar\""},
      {"two\nlines\r\tx", "\"two\\nlines\\r\\tx\""},
      {std::string("nul\0bell\x07", 9), "\"nul\\u0000bell\\u0007\""},
      {"\xE6\x98\x9F\xE7\xA9\xBA", "\"\xE6\x98\x9F\xE7\xA9\xBA\""},  // UTF-8 passes as it is
  };
  for (const auto& c : cases) EXPECT_EQ(JsonString(c.in), c.out) << c.in;
}

TEST(JsonRows, RowsMakeAnArrayOfObjects) {
  EXPECT_EQ(JsonArray({}), "[]\n");
  std::vector<JsonRow> rows(2);
  rows[0].Text("bar", "3301").Number("size", 4096).Bool("current", true);
  rows[1].Text("bar", "").Number("size", -1).Bool("current", false);
  EXPECT_EQ(JsonArray(rows),
            "[\n  {\"bar\": \"3301\", \"size\": 4096, \"current\": true},\n"
            "  {\"bar\": \"\", \"size\": -1, \"current\": false}\n]\n");
}

}  // namespace
