#include "settings/run_params.h"

#include "util/literal_table.h"
#include "util/text.h"

namespace {

int AnswerValue(const AnswerLookup& answer, const std::string& key, int serviceDefault) {
  std::optional<std::string> text = answer(key);
  if (!text) return serviceDefault;
  return ParseDecimal(*text).value_or(serviceDefault);
}

int LocalValue(const LocalParamReader& read, const std::string& key, int current, int fallback) {
  return ParseDecimal(read(key, Format("%d", current))).value_or(fallback);
}

int Clamp(int value, int low, int high) { return value < low ? low : value > high ? high : value; }

// A reply or a local file can carry any number. The face step waits the click
// delay inside the one-second cycle, the refresh counts minutes and the CTID
// return counts cycles: out of these ranges a value would stop the cycle for
// days, ask the service every minute, or never bring the window back. A click
// mode outside 0..2 means what its end of the range means.
void ClampToSaneRanges(TCenterPar& par) {
  for (const RunParamRule& rule : RunParamRules()) par.*rule.field = Clamp(par.*rule.field, rule.min, rule.max);
}

}  // namespace

const std::vector<RunParamRule>& RunParamRules() {
  static const std::vector<RunParamRule> rules = {
      {Literal(lit::kKeyFaceClickDelay), &TCenterPar::FaceClickDelay, 202, 0, kMaxFaceClickDelayMs, "milliseconds"},
      {Literal(lit::kKeyFaceClickMode), &TCenterPar::FaceClickMode, 2, 0, 2, ""},
      {Literal(lit::kKeyParamRefreshMinutes), &TCenterPar::ParamRefreshMinutes, 180, 1, kMaxParamRefreshMinutes,
       "minutes"},
      {Literal(lit::kKeyCtidReturnDelay), &TCenterPar::CtidReturnDelay, 7, 0, kMaxCtidReturnDelay, "watch cycles"},
  };
  return rules;
}

const RunParamRule* FindRunParamRule(const std::string& key) {
  for (const RunParamRule& rule : RunParamRules()) {
    if (rule.key == key) return &rule;
  }
  return nullptr;
}

void ApplyServiceAnswer(TCenterPar& par, const AnswerLookup& answer) {
  for (const RunParamRule& rule : RunParamRules()) {
    par.*rule.field = AnswerValue(answer, rule.key, rule.serviceDefault);
  }
  ClampToSaneRanges(par);
}

void ApplyLocalParameters(TCenterPar& par, const LocalParamReader& read) {
  par.FaceClickDelay = LocalValue(read, Literal(lit::kFileKeyFaceClickDelay), par.FaceClickDelay, 302);
  par.FaceClickMode = LocalValue(read, Literal(lit::kKeyFaceClickMode), par.FaceClickMode, 2);
  par.CtidReturnDelay =
      LocalValue(read, Literal(lit::kKeyCtidReturnDelay), par.CtidReturnDelay, par.CtidReturnDelay);
  ClampToSaneRanges(par);
}

int ParseFeatureBits(const std::string& text) { return ParseDecimal(text).value_or(0); }
