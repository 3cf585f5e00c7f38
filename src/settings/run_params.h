// Process-wide runtime parameters (TCenterPar) and the feature bits that
// switch the watcher's optional features.
#pragma once
#include <functional>
#include <optional>
#include <string>
#include <vector>

struct TCenterPar {
  int FaceClickDelay = 101;      // ms before the face button is pressed
  int FaceClickMode = 1;         // <=0 no press, 1 BM_CLICK, else a mouse click
  int ParamRefreshMinutes = 60;  // period of the central-service refresh
  int CtidReturnDelay = 6;       // watch cycles before the CTID window returns
};

// Every value applied from an answer or the local file is brought into these
// ranges (the lower ends 0 ms, 1 minute and 0 cycles).
constexpr int kMaxFaceClickDelayMs = 5000;
constexpr int kMaxParamRefreshMinutes = 24 * 60;
constexpr int kMaxCtidReturnDelay = 600;

// One runtime parameter as the central service's answer carries it: the
// answer's key, the field it fills, the value a missing or unreadable key
// gives, and the range the assistant keeps the field in. The assistant clamps
// by this table and the central service's `params set` refuses by it, so a
// value an operator sets is the value the cafes use.
struct RunParamRule {
  std::string key;
  int TCenterPar::*field;
  int serviceDefault;
  int min, max;
  const char* unit;  // for the operator's message; "" for a plain number
};

// The four parameters, in the order an answer fills them.
const std::vector<RunParamRule>& RunParamRules();
// The rule whose key is exactly `key`, else nullptr.
const RunParamRule* FindRunParamRule(const std::string& key);

// Values of the central service's answer, by key; nullopt when the key is absent.
using AnswerLookup = std::function<std::optional<std::string>(const std::string& key)>;

// An answer that arrived: every field takes its key's decimal value, or the
// central service's default when the key is missing or not a number.
void ApplyServiceAnswer(TCenterPar& par, const AnswerLookup& answer);

// Reads one key of the local parameters file; `fallback` is returned when the
// key (or the file) is missing.
using LocalParamReader = std::function<std::string(const std::string& key, const std::string& fallback)>;

// The local parameters file overrides the click delay, the click mode and the
// return delay. A missing key keeps the field; text that is not a number
// gives 302, 2 and the current value respectively.
void ApplyLocalParameters(TCenterPar& par, const LocalParamReader& read);

// Feature bits, stored as decimal text under "ExpCofig".
enum FeatureBit : int {
  kExtendedScreen = 1,
  kCtidWindow = 2,
  kAppQrWindow = 4,
  kFaceWindow = 8,
  kWallpaperCarousel = 16,
  kCtidReturn = 32,
};

// "ExpCofig" text to bits: a decimal integer, else 0.
int ParseFeatureBits(const std::string& text);

// The three switches cached from bits 1, 16 and 32; the other bits are tested
// on the integer each time.
struct RuntimeSwitches {
  int bits = 0;
  bool extendedScreen = false;
  bool carousel = false;
  bool ctidReturn = false;

  void Apply(int featureBits) {
    bits = featureBits;
    extendedScreen = (featureBits & kExtendedScreen) != 0;
    carousel = (featureBits & kWallpaperCarousel) != 0;
    ctidReturn = (featureBits & kCtidReturn) != 0;
  }
  bool Has(FeatureBit bit) const { return (bits & bit) != 0; }
};
