#include "central/params_rule.h"

#include <gtest/gtest.h>

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
      {"ctidreturn", "7", true},      {"ctidreturn", "0x10", false},  {"motd", "欢迎光临", true},
      {"motd", "a\r\ncrclist=FFFFFFFF", false},                         // would add a line
      {"crclist", "12345678", false}, {"CrcList", "12345678", false},   // comes from releases
      {"bad name", "1", false},       {"", "1", false},               {"a=b", "1", false},
      {"x", std::string(201, 'a'), false},
  };
  for (const Case& c : cases) EXPECT_EQ(!CheckParam(c.name, c.value).has_value(), c.ok) << c.name << "=" << c.value;
}

}  // namespace
