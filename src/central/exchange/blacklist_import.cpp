#include "central/exchange/blacklist_import.h"

#include <algorithm>
#include <map>

#include "blacklist/blacklist_lines.h"
#include "crypto/codepage.h"

namespace {

// The check character of ISO 7064 MOD 11-2 over the first 17 digits. The
// assistant does not look at it, but the operator should hear of a mistyped
// number that can never match a real card.
bool CheckCharacterFits(const std::string& id) {
  static constexpr int kWeights[17] = {7, 9, 10, 5, 8, 4, 2, 1, 6, 3, 7, 9, 10, 5, 8, 4, 2};
  int sum = 0;
  for (int i = 0; i < 17; ++i) sum += (id[i] - '0') * kWeights[i];
  return "10X98765432"[sum % 11] == (id[17] == 'x' ? 'X' : id[17]);
}

// True when the text comes back unchanged from the store's UTF-8.
bool SurvivesUtf8(const std::string& gbk) { return Utf8_ToAnsi(Ansi_ToUtf8(gbk)) == gbk; }

std::string Spaced(std::string text) {
  std::replace(text.begin(), text.end(), '\t', ' ');
  return text;
}

// "#" and the given names, padded like MaskName pads them; a name already
// masked ("#" first) is only padded.
std::string MaskedName(const std::string& name) {
  if (name[0] != '#') return MaskName(name);
  return name.size() < 5 ? name + std::string(5 - name.size(), ' ') : name;
}

}  // namespace

BlacklistImport ParseBlacklistFile(const std::string& text, bool utf8, CalendarDate today) {
  BlacklistImport result;
  std::map<std::string, std::pair<std::size_t, int>> seen;  // ID number: its entry and line
  BlacklistFileReader reader(utf8, today, [&](int number, const RecordCheck& check) {
    if (check.skipped) return;
    if (!check.record) {
      result.refused.push_back({number, check.refusal});
      return;
    }
    const BlacklistRecord& r = *check.record;
    if (!SurvivesUtf8(r.name) || !SurvivesUtf8(r.reason)) {
      result.refused.push_back({number, !SurvivesUtf8(r.name) ? "name: GBK text expected" : "reason: GBK text expected"});
      return;
    }
    const std::string id = UpperAscii(r.idNumber);
    if (!CheckCharacterFits(id)) {
      result.warnings.push_back({number, "ID number: the check character does not fit; imported as it is"});
    }
    const std::string reason = ReplaceAll(r.reason, "|", "_", true);
    BlacklistEntry entry{id, id + " " + Spaced(MaskedName(r.name)) + " " + r.date + " " + Spaced(reason)};
    // One entry per ID number, as the store keeps it: the later line wins,
    // and the count says what is stored.
    const auto earlier = seen.find(id);
    if (earlier != seen.end()) {
      result.warnings.push_back({number, "ID number also on line " + std::to_string(earlier->second.second) +
                                             "; this line replaces it"});
      result.entries[earlier->second.first] = std::move(entry);
      earlier->second.second = number;
      return;
    }
    seen[id] = {result.entries.size(), number};
    result.entries.push_back(std::move(entry));
  });
  reader.Feed(text);
  reader.Finish();
  return result;
}

bool LooksLikeUtf8(const std::string& text) {
  bool beyondAscii = false;
  for (std::size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const std::size_t length = lead < 0x80 ? 1 : (lead >> 5) == 0x6 ? 2 : (lead >> 4) == 0xE ? 3 : (lead >> 3) == 0x1E ? 4 : 0;
    if (length == 0 || (length == 2 && lead < 0xC2) || i + length > text.size()) return false;
    for (std::size_t k = 1; k < length; ++k) {
      if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
    }
    beyondAscii |= length > 1;
    i += length;
  }
  return beyondAscii;
}
