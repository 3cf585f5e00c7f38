#include "util/piece_search.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::int64_t Search(const std::vector<std::string>& pieces) {
  PieceSearch search("certToken");
  for (const std::string& piece : pieces) search.Add(piece);
  return search.Position();
}

TEST(PieceSearch, PositionIsTheOneOfTheWholeConcatenation) {
  struct Case {
    std::vector<std::string> pieces;
    std::int64_t position;
  };
  const Case cases[] = {
      {{}, 0},
      {{"", ""}, 0},
      {{"certToken"}, 1},
      {{"<div>", "a", "<p>certToken=1</p>"}, 10},
      // Split across two and across three pieces.
      {{"xxcert", "Token"}, 3},
      {{"ab", "ce", "rtT", "oken"}, 3},
      // The first occurrence counts, later pieces cannot move it.
      {{"certToken", "certToken"}, 1},
      {{"0123456789", "xcertToken", "certToken"}, 12},
      // Case matters; a near miss followed by the real one.
      {{"CertToken certtoken certToke", "n"}, 21},
      // GBK text before the ticket counts in bytes.
      {{"网证", "certToken"}, 5},
  };
  for (const Case& c : cases) {
    std::string joined;
    for (const std::string& p : c.pieces) joined += p;
    EXPECT_EQ(Search(c.pieces), c.position) << joined;
  }
}

TEST(PieceSearch, ReportsFoundSoTheCallerCanStopReading) {
  PieceSearch search("certToken");
  EXPECT_FALSE(search.Add("<div>cert"));
  EXPECT_TRUE(search.Add("Token</div>"));
  EXPECT_TRUE(search.Add("anything"));
  EXPECT_EQ(search.Position(), 6);
}

TEST(PieceSearch, PositionsBeyondTwoGigabytesAreCounted) {
  // A page of nested elements repeats its content: positions count the
  // repeated bytes without holding them.
  PieceSearch search("certToken");
  const std::string block(1 << 20, 'x');
  for (int i = 0; i < 2100; ++i) ASSERT_FALSE(search.Add(block));
  search.Add("certToken");
  EXPECT_EQ(search.Position(), 2100LL * (1 << 20) + 1);
}

}  // namespace
