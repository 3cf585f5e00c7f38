// Values the central service, the local parameters file and the registry give
// the program: name=value lines (CR, LF) fed to both parameter appliers, the
// feature bits and remembered window position texts, and the central
// service's parameter reply (its markers, sealed payload and name=value lines).
#include <map>
#include <string>

#include "fuzz_targets.h"
#include "net/central_exchange.h"
#include "settings/position.h"
#include "settings/run_params.h"
#include "util/text.h"

int FuzzSettingsValues(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::map<std::string, std::string> values;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find_first_of("\r\n", start);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(start, end - start);
    const std::size_t eq = line.find('=');
    if (eq != std::string::npos) values.emplace(line.substr(0, eq), line.substr(eq + 1));
    start = end + 1;
  }
  TCenterPar par;
  ApplyServiceAnswer(par, [&](const std::string& key) -> std::optional<std::string> {
    auto it = values.find(key);
    if (it == values.end()) return std::nullopt;
    return it->second;
  });
  ApplyLocalParameters(par, [&](const std::string& key, const std::string& fallback) {
    auto it = values.find(key);
    return it == values.end() ? fallback : it->second;
  });
  (void)ParseFeatureBits(text);
  (void)ParsePosition(text);
  (void)ParseDecimal(text);
  (void)CheckIdNumber(text, CalendarDate{2024, 3, 7});
  return 0;
}

int FuzzServiceReply(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  // As the whole reply (markers and sealed payload), and as an opened payload.
  std::optional<std::string> payload = OpenServiceReply(text);
  for (const std::string& lines : {payload.value_or(""), text}) {
    for (const char* name : {"delay", "clickmode", "interval", "ctidreturn", "crclist"}) {
      std::optional<std::string> value = ReplyValue(lines, name);
      if (value && value->size() > lines.size()) FuzzFail("a value longer than its payload");
    }
    const std::string identities = ReplyValue(lines, "crclist").value_or("");
    const int decision = UpdateDecision(identities, "A7C97138");
    if (decision != 1 && decision != 2) FuzzFail("an update decision that is neither 1 nor 2");
    // A release the download check accepts is current once it runs.
    if (IsReleaseIdentity(identities, "A7C97138") && decision != 1) {
      FuzzFail("an accepted release announced again as an update");
    }
    if (IsReleaseIdentity(identities, "")) FuzzFail("the empty text taken for a release identity");
  }
  return 0;
}
