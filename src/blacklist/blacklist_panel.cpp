#include "blacklist/blacklist_panel.h"

#include "util/text.h"

Rgb BlacklistRowColour(int index) {
  if (index % 2 != 0) return {255, 255, 255};
  auto lighten = [](int channel) { return channel + ((255 - channel) * 71) / 128; };
  return {lighten(166), lighten(202), lighten(240)};
}

std::string MaskedLineText(const std::string& line) {
  std::string text = line.substr(0, 12) + "xxxxxx";
  if (line.size() > 18) text += line.substr(18);
  return text;
}

LineClick ClickLine(const std::string& line) {
  return {line.substr(0, 14), line.size() > 19 ? line.substr(19) : std::string()};
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
