#include "net/url.h"

#include <gtest/gtest.h>

namespace {

struct SplitCase {
  const char* url;
  const char* host;
  int port;
  const char* path;
  const char* query;
};
void PrintTo(const SplitCase& c, std::ostream* os) { *os << c.url; }

class SplitUrlTest : public testing::TestWithParam<SplitCase> {};

TEST_P(SplitUrlTest, GivesHostPortPathAndQuery) {
  const SplitCase& c = GetParam();
  std::string host = "old", path = "old", query = "old";
  EXPECT_EQ(SplitUrl(c.url, host, path, query), c.port);
  EXPECT_EQ(host, c.host);
  EXPECT_EQ(path, c.path);
  EXPECT_EQ(query, c.query);
}

INSTANTIATE_TEST_SUITE_P(
    SplitUrl, SplitUrlTest,
    testing::Values(
        SplitCase{"http://host:8080/a/b?x=1", "host", 8080, "a/b", "x=1"},
        SplitCase{"HTTPS://Host/p", "Host", 443, "p", ""},
        SplitCase{"http://host", "host", 80, "", ""},
        SplitCase{"http://host/", "host", 80, "", ""},
        SplitCase{"Http://host/?", "host", 80, "", ""},
        SplitCase{"hTtPs://10.1.2.3:8443/x?y", "10.1.2.3", 8443, "x", "y"},
        // Without a scheme the port is 0 unless the URL names one.
        SplitCase{"host/a", "host", 0, "a", ""},
        SplitCase{"host:81/a", "host", 81, "a", ""},
        SplitCase{"ftp://host/a", "ftp", 0, "/host/a", ""},
        // The query starts at the first "?"; later ones belong to it.
        SplitCase{"http://h/a?b?c=/d", "h", 80, "a", "b?c=/d"},
        SplitCase{"http://h/a/b/c.exe", "h", 80, "a/b/c.exe", ""},
        // The port takes the leading digits of at most five characters after
        // the colon, which leave the host with them.
        SplitCase{"http://h:/a", "h", 0, "a", ""},
        SplitCase{"http://h:x/a", "h", 0, "a", ""},
        SplitCase{"http://h:80", "h", 80, "", ""},
        SplitCase{"http://h:123456/a", "h6", 12345, "a", ""},
        SplitCase{"http://127.0.0.1:18080/tollimer/update/?t=1", "127.0.0.1", 18080,
                  "tollimer/update/", "t=1"},
        SplitCase{"", "", 0, "", ""}));

struct EncodeCase {
  const char* text;
  bool asUtf8;
  const char* encoded;
};
void PrintTo(const EncodeCase& c, std::ostream* os) { *os << c.text; }

class UrlEncodeTest : public testing::TestWithParam<EncodeCase> {};

TEST_P(UrlEncodeTest, EscapesAllButTheSafeBytes) {
  const EncodeCase& c = GetParam();
  EXPECT_EQ(UrlEncode(c.text, c.asUtf8), c.encoded);
}

// Narrow literals are GBK bytes: "网" is CD F8, "吧" is B0 C9.
INSTANTIATE_TEST_SUITE_P(
    UrlEncode, UrlEncodeTest,
    testing::Values(EncodeCase{"a/b-c_d.e:f", false, "a/b-c_d.e:f"},
                    EncodeCase{"AZaz09", true, "AZaz09"},
                    EncodeCase{"a b", false, "a%20b"},
                    EncodeCase{"~", false, "%7E"},
                    EncodeCase{"?&=%+#", false, "%3F%26%3D%25%2B%23"},
                    EncodeCase{"\x01\x7F", false, "%01%7F"},
                    EncodeCase{"网吧", false, "%CD%F8%B0%C9"},
                    EncodeCase{"网", true, "%E7%BD%91"},
                    EncodeCase{"update/网吧 1.exe", true, "update/%E7%BD%91%E5%90%A7%201.exe"},
                    EncodeCase{"", true, ""}));

// The hit report's query keeps its '|' separators and any escapes already
// made; a GBK bar name and what would cut the line or the query are escaped.
TEST(RequestTargetText, EscapesOnlyWhatARequestLineCannotCarry) {
  const struct {
    const char* target;
    const char* sent;
  } cases[] = {
      {"/tollimer/report.php?CID=11010119900307123x&RET=1234567890AB|45000|NoHostIP|",
       "/tollimer/report.php?CID=11010119900307123x&RET=1234567890AB|45000|NoHostIP|"},
      {"/r.php?RET=|3301|网吧|", "/r.php?RET=|3301|%CD%F8%B0%C9|"},
      {"/a b?x=1#2", "/a%20b?x=1%232"},
      {"/q?\"<>\x01\x7F\r\n", "/q?%22%3C%3E%01%7F%0D%0A"},
      {"/update/%E7%BD%91.exe?a=b&c=d", "/update/%E7%BD%91.exe?a=b&c=d"},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(RequestTargetText(c.target), c.sent) << c.target;
}

}  // namespace
