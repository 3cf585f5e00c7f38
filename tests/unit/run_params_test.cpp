#include "settings/run_params.h"

#include <gtest/gtest.h>

#include <map>

#include "util/literal_table.h"

namespace {

using Values = std::map<std::string, std::string>;

AnswerLookup Answer(const Values& values) {
  return [values](const std::string& key) -> std::optional<std::string> {
    auto it = values.find(key);
    if (it == values.end()) return std::nullopt;
    return it->second;
  };
}

LocalParamReader File(const Values& values) {
  return [values](const std::string& key, const std::string& fallback) {
    auto it = values.find(key);
    return it == values.end() ? fallback : it->second;
  };
}

TEST(TCenterPar, CodeDefaultsStandWithoutAnswerOrFile) {
  TCenterPar par;
  ApplyLocalParameters(par, File({}));
  EXPECT_EQ(par.FaceClickDelay, 101);
  EXPECT_EQ(par.FaceClickMode, 1);
  EXPECT_EQ(par.ParamRefreshMinutes, 60);
  EXPECT_EQ(par.CtidReturnDelay, 6);
}

TEST(TCenterPar, AnswerFieldsFallBackToTheServiceDefaults) {
  TCenterPar par;
  ApplyServiceAnswer(par, Answer({{Literal(lit::kKeyFaceClickDelay), "350"},
                                  {Literal(lit::kKeyParamRefreshMinutes), "abc"}}));
  EXPECT_EQ(par.FaceClickDelay, 350);
  EXPECT_EQ(par.FaceClickMode, 2);  // missing: the service default, not the code default
  EXPECT_EQ(par.ParamRefreshMinutes, 180);
  EXPECT_EQ(par.CtidReturnDelay, 7);
}

TEST(TCenterPar, LocalFileOverridesWithItsOwnFallbacks) {
  TCenterPar par;
  ApplyServiceAnswer(par, Answer({{Literal(lit::kKeyFaceClickDelay), "400"}}));
  ApplyLocalParameters(par, File({{Literal(lit::kFileKeyFaceClickDelay), "abc"},
                                  {Literal(lit::kKeyFaceClickMode), "0"},
                                  {Literal(lit::kKeyCtidReturnDelay), "x"}}));
  EXPECT_EQ(par.FaceClickDelay, 302);
  EXPECT_EQ(par.FaceClickMode, 0);
  EXPECT_EQ(par.CtidReturnDelay, 7);  // not a number: keeps the current value

  TCenterPar kept;
  ApplyServiceAnswer(kept, Answer({{Literal(lit::kKeyFaceClickDelay), "400"}}));
  ApplyLocalParameters(kept, File({{Literal(lit::kKeyFaceClickDelay), "999"}}));  // the answer's key name, not the file's
  EXPECT_EQ(kept.FaceClickDelay, 400);
}

TEST(TCenterPar, ValuesFromAnAnswerOrTheFileAreBroughtIntoSaneRanges) {
  // A delay of days would stop the watch cycle; a refresh of 0 minutes would
  // ask the service every minute.
  const struct {
    const char* text;
    int delay, minutes, cycles;
  } cases[] = {
      {"2000000000", kMaxFaceClickDelayMs, kMaxParamRefreshMinutes, kMaxCtidReturnDelay},
      {"-5", 0, 1, 0},
      {"0", 0, 1, 0},
      {"250", 250, 250, 250},
  };
  for (const auto& c : cases) {
    TCenterPar par;
    ApplyServiceAnswer(par, Answer({{Literal(lit::kKeyFaceClickDelay), c.text},
                                    {Literal(lit::kKeyParamRefreshMinutes), c.text},
                                    {Literal(lit::kKeyCtidReturnDelay), c.text}}));
    EXPECT_EQ(par.FaceClickDelay, c.delay) << c.text;
    EXPECT_EQ(par.ParamRefreshMinutes, c.minutes) << c.text;
    EXPECT_EQ(par.CtidReturnDelay, c.cycles) << c.text;

    TCenterPar local;
    ApplyLocalParameters(local, File({{Literal(lit::kFileKeyFaceClickDelay), c.text},
                                      {Literal(lit::kKeyCtidReturnDelay), c.text}}));
    EXPECT_EQ(local.FaceClickDelay, c.delay) << c.text;
    EXPECT_EQ(local.CtidReturnDelay, c.cycles) << c.text;
  }
}

TEST(FeatureBits, TextToBitsAndCachedSwitches) {
  EXPECT_EQ(ParseFeatureBits("63"), 63);
  EXPECT_EQ(ParseFeatureBits("abc"), 0);
  EXPECT_EQ(ParseFeatureBits(""), 0);
  RuntimeSwitches s;
  s.Apply(ParseFeatureBits("63"));
  EXPECT_TRUE(s.extendedScreen && s.carousel && s.ctidReturn);
  EXPECT_TRUE(s.Has(kCtidWindow) && s.Has(kAppQrWindow) && s.Has(kFaceWindow));
  s.Apply(8);
  EXPECT_FALSE(s.extendedScreen);
  EXPECT_TRUE(s.Has(kFaceWindow));
}

}  // namespace
