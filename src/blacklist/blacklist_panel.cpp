#include "blacklist/blacklist_panel.h"

#include "util/text.h"

Rgb BlacklistRowColour(int index) {
  if (index % 2 != 0) return {255, 255, 255};
  auto lighten = [](int channel) { return channel + ((255 - channel) * 71) / 128; };
  return {lighten(166), lighten(202), lighten(240)};
}

// The cuts fall on character boundaries: a service line is kept as it came,
// so a two-byte character may straddle any of them. The head rounds down and
// the rest rounds up, so what straddles the hidden digits stays hidden.
std::string MaskedLineText(const std::string& line) {
  return line.substr(0, GbkCutLength(line, 12)) + "xxxxxx" + line.substr(GbkBoundaryFrom(line, 18));
}

LineClick ClickLine(const std::string& line) {
  const std::string_view rest = std::string_view(line).substr(GbkBoundaryFrom(line, 19));
  return {line.substr(0, GbkCutLength(line, 14)), std::string(rest.substr(0, GbkCutLength(rest, kMaxHintBytes)))};
}

std::optional<FindResult> FindLines(const std::vector<std::string>& lines, const std::string& text) {
  if (text.size() < 2) return std::nullopt;
  FindResult result;
  const std::string key = TextBeforeSpace(text);
  if (!key.empty()) {
    result.selected.resize(lines.size());
    for (std::size_t i = 0; i < lines.size(); ++i) {
      result.selected[i] = FindText(key, lines[i], true, 1) > 0;
      if (result.selected[i]) ++result.count;
    }
  }
  result.status = Format("找到相关记录:%d", result.count);
  return result;
}
