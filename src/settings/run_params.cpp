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

}  // namespace

void ApplyServiceAnswer(TCenterPar& par, const AnswerLookup& answer) {
  par.FaceClickDelay = AnswerValue(answer, Literal(lit::kKeyFaceClickDelay), 202);
  par.FaceClickMode = AnswerValue(answer, Literal(lit::kKeyFaceClickMode), 2);
  par.ParamRefreshMinutes = AnswerValue(answer, Literal(lit::kKeyParamRefreshMinutes), 180);
  par.CtidReturnDelay = AnswerValue(answer, Literal(lit::kKeyCtidReturnDelay), 7);
}

void ApplyLocalParameters(TCenterPar& par, const LocalParamReader& read) {
  par.FaceClickDelay = LocalValue(read, Literal(lit::kFileKeyFaceClickDelay), par.FaceClickDelay, 302);
  par.FaceClickMode = LocalValue(read, Literal(lit::kKeyFaceClickMode), par.FaceClickMode, 2);
  par.CtidReturnDelay =
      LocalValue(read, Literal(lit::kKeyCtidReturnDelay), par.CtidReturnDelay, par.CtidReturnDelay);
}

int ParseFeatureBits(const std::string& text) { return ParseDecimal(text).value_or(0); }
