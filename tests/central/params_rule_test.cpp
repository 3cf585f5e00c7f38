#include "central/exchange/params_rule.h"

#include <gtest/gtest.h>

#include "settings/run_params.h"
#include "util/text.h"

namespace {

TEST(ParamsRule, RefusesValuesTheAssistantWouldMisuse) {
  struct Case {
    std::string name;
    std::string value;
    bool ok;
  };
  const Case cases[] = {
      {"delay", "350", true},         {"delay", "-1", false},         {"delay", "fast", false},
      {"clickmode", "2", true},       {"clickmode", "3", false},      {"interval", "1", true},
      {"interval", "0", false},       {"INTERVAL", "0", false},       {"interval", "180", true},
      {"ctidreturn", "7", true},      {"ctidreturn", "0x10", false},
      {"motd", "欢迎光临", false},                                      // the assistant reads no such name
      {"motd", "a\r\ncrclist=FFFFFFFF", false},                         // would add a line
      {"delay", "5\r\ncrclist=FFFFFFFF", false},
      {"crclist", "12345678", false}, {"CrcList", "12345678", false},   // comes from releases
      {"bad name", "1", false},       {"", "1", false},               {"a=b", "1", false},
      {"x", std::string(201, 'a'), false},
      // What the assistant would clamp silently is refused, not stored and
      // listed while the cafes use another value.
      {"delay", "5000", true},        {"delay", "5001", false},       {"delay", "60000", false},
      {"interval", "1440", true},     {"interval", "1441", false},    {"interval", "10080", false},
      {"ctidreturn", "600", true},    {"ctidreturn", "601", false},   {"ctidreturn", "3600", false},
      // A mistyped name would be stored and never read.
      {"intervall", "5", false},      {"Delay", "500", false},        {"fwait", "500", false},
  };
  for (const Case& c : cases) EXPECT_EQ(!CheckParam(c.name, c.value).has_value(), c.ok) << c.name << "=" << c.value;
}

TEST(ParamsRule, RefusalSaysTheRangeOrTheNamesTheAssistantReads) {
  EXPECT_EQ(CheckParam("delay", "60000").value_or(""), "delay is a whole number from 0 to 5000 (milliseconds)");
  EXPECT_EQ(CheckParam("clickmode", "9").value_or(""), "clickmode is a whole number from 0 to 2");
  EXPECT_EQ(CheckParam("intervall", "5").value_or(""),
            "unknown parameter intervall; the assistant reads delay, clickmode, interval, ctidreturn");
}

// The service accepts a value exactly when the assistant, getting it in an
// answer, keeps it as it is.
TEST(ParamsRule, AcceptsExactlyWhatTheAssistantKeeps) {
  for (const RunParamRule& rule : RunParamRules()) {
    for (int value : {rule.min - 1, rule.min, rule.min + 1, rule.max - 1, rule.max, rule.max + 1, 3600, 10080, 600000}) {
      const std::string text = Format("%d", value);
      TCenterPar par;
      ApplyServiceAnswer(par, [&](const std::string& key) -> std::optional<std::string> {
        if (key == rule.key) return text;
        return std::nullopt;
      });
      const bool kept = par.*rule.field == value;
      EXPECT_EQ(!CheckParam(rule.key, text).has_value(), kept) << rule.key << "=" << value;
    }
  }
}

}  // namespace
