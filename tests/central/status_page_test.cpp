#include "central/status_page.h"

#include <gtest/gtest.h>

namespace {

TEST(StatusPage, EscapesEverythingThatCameFromTheField) {
  StatusData d;
  d.installations = 2;
  d.versions = {{"<b>", "", false, 2}};
  d.hits = {{1700000000, "<script>alert(1)</script>", "A&B", "\"1\"", "网吧'x'", "10.0.0.5"}};
  d.notices = {{1700000000, "10.0.0.5", "</td><img src=x onerror=alert(1)>"}};
  const std::string html = RenderStatusPage(d, 1700000100);
  EXPECT_EQ(html.find("<script>"), std::string::npos);
  EXPECT_EQ(html.find("<img"), std::string::npos);
  EXPECT_EQ(html.find("<b>"), std::string::npos);
  EXPECT_NE(html.find("&lt;script&gt;alert(1)&lt;/script&gt;"), std::string::npos);
  EXPECT_NE(html.find("A&amp;B"), std::string::npos);
  EXPECT_NE(html.find("&quot;1&quot;"), std::string::npos);
  EXPECT_NE(html.find("&#39;x&#39;"), std::string::npos);
  EXPECT_NE(html.find("2023-11-14 22:13:20"), std::string::npos);
}

TEST(StatusPage, ReloadsItselfOnceAMinute) {
  const std::string html = RenderStatusPage(StatusData(), 1700000100);
  const std::size_t head = html.find("</head>");
  EXPECT_LT(html.find("<meta http-equiv=\"refresh\" content=\"60\">"), head);
}

}  // namespace
