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
// days, ask the service every minute, or never bring the window back.
void ClampToSaneRanges(TCenterPar& par) {
  par.FaceClickDelay = Clamp(par.FaceClickDelay, 0, kMaxFaceClickDelayMs);
  par.ParamRefreshMinutes = Clamp(par.ParamRefreshMinutes, 1, kMaxParamRefreshMinutes);
  par.CtidReturnDelay = Clamp(par.CtidReturnDelay, 0, kMaxCtidReturnDelay);
}

}  // namespace

void ApplyServiceAnswer(TCenterPar& par, const AnswerLookup& answer) {
  par.FaceClickDelay = AnswerValue(answer, Literal(lit::kKeyFaceClickDelay), 202);
  par.FaceClickMode = AnswerValue(answer, Literal(lit::kKeyFaceClickMode), 2);
  par.ParamRefreshMinutes = AnswerValue(answer, Literal(lit::kKeyParamRefreshMinutes), 180);
  par.CtidReturnDelay = AnswerValue(answer, Literal(lit::kKeyCtidReturnDelay), 7);
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
