#include "blacklist/blacklist_panel.h"

#include <gtest/gtest.h>

namespace {

TEST(BlacklistRowColour, EvenRowsLightBlueOddRowsWhite) {
  const Rgb lightBlue{166 + (89 * 71) / 128, 202 + (53 * 71) / 128, 240 + (15 * 71) / 128};
  EXPECT_EQ(lightBlue, (Rgb{215, 231, 248}));
  for (int i : {0, 2, 4, 100}) EXPECT_EQ(BlacklistRowColour(i), lightBlue) << i;
  for (int i : {1, 3, 101}) EXPECT_EQ(BlacklistRowColour(i), (Rgb{255, 255, 255})) << i;
}

TEST(MaskedLineText, SixDigitsOfTheIdAreNeverShown) {
  struct Case { std::string line; std::string shown; };
  const Case cases[] = {
      {"11010119900307123X\t#三  \t2024-01-02\t打架", "110101199003xxxxxx\t#三  \t2024-01-02\t打架"},
      {"11010119900307123X", "110101199003xxxxxx"},
      {"110101199003071", "110101199003xxxxxx"},   // short service line: still masked
      {"a b c d", "a b c dxxxxxx"},
      {"", "xxxxxx"},
      // A service line is kept as it came: a character across a cut is
      // dropped whole, never shown by half.
      {"12345678901张三4567 x", "12345678901xxxxxx7 x"},
      {"12345678901234567张 x", "123456789012xxxxxx x"},
  };
  for (const auto& c : cases) EXPECT_EQ(MaskedLineText(c.line), c.shown) << c.line;
}

TEST(ClickLine, FourteenCharactersToTheEditTheRestToTheHint) {
  struct Case { std::string line; std::string edit; std::string hint; };
  const Case cases[] = {
      {"11010119900307123X\t#三  \t2024-01-02\t打架", "11010119900307", "#三  \t2024-01-02\t打架"},
      {"11010119900307123X ", "11010119900307", ""},
      {"1101", "1101", ""},
      {"1234567890123张三45678 x", "1234567890123", "678 x"},
      {"12345678901234567a张三 x", "12345678901234", "三 x"},
      {"123456789012张三45\t王五", "123456789012张", "王五"},
  };
  for (const auto& c : cases) {
    LineClick click = ClickLine(c.line);
    EXPECT_EQ(click.editText, c.edit) << c.line;
    EXPECT_EQ(click.hint, c.hint) << c.line;
  }
}

TEST(ClickLine, TheHintHoldsAtMost1023BytesOfWholeCharacters) {
  const std::string id = "11010119900307123X\t";
  struct Case { std::string rest; std::size_t hintBytes; };
  const Case cases[] = {
      {std::string(1023, 'a'), 1023},
      {std::string(2000, 'a'), 1023},
      {"a" + [] { std::string s; for (int i = 0; i < 600; ++i) s += "张"; return s; }(), 1023},
      {[] { std::string s; for (int i = 0; i < 600; ++i) s += "张"; return s; }(), 1022},
  };
  for (const Case& c : cases) {
    const std::string hint = ClickLine(id + c.rest).hint;
    EXPECT_EQ(hint.size(), c.hintBytes) << c.rest.size();
    EXPECT_EQ(hint, c.rest.substr(0, c.hintBytes));
  }
}

TEST(FindLines, SelectsEveryContainingLineAndCountsThem) {
  const std::vector<std::string> lines = {
      "11010119900307123X\t#三  \t2024-01-02\t打架",
      "44030419851231002X\t#四  \t2023-12-01\t同伙110101",
      "31010219800101001x\t#五  \t2023-12-01\t逃单"};
  struct Case { std::string text; std::optional<std::vector<bool>> selected; int count; };
  const Case cases[] = {
      {"110101", std::vector<bool>{true, true, false}, 2},
      {"001X", std::vector<bool>{false, false, true}, 1},   // ASCII case ignored
      {"110101 ignored after space", std::vector<bool>{true, true, false}, 2},
      {"77", std::vector<bool>{false, false, false}, 0},
      {" 110101", std::vector<bool>{}, 0},   // empty key: selection left alone
      {"1", std::nullopt, 0},                // one character: nothing at all
      {"", std::nullopt, 0},
  };
  for (const auto& c : cases) {
    auto result = FindLines(lines, c.text);
    ASSERT_EQ(result.has_value(), c.selected.has_value()) << c.text;
    if (!result) continue;
    EXPECT_EQ(result->selected, *c.selected) << c.text;
    EXPECT_EQ(result->count, c.count) << c.text;
    EXPECT_EQ(result->status, "找到相关记录:" + std::to_string(c.count)) << c.text;
  }
}

}  // namespace
