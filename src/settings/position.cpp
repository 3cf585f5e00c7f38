#include "settings/position.h"

#include "util/text.h"

ScreenPosition ParsePosition(std::string_view text) {
  const size_t point = text.find('.');
  if (point == std::string_view::npos) return {};
  return {ParseDecimal(text.substr(0, point)).value_or(0),
          ParseDecimal(text.substr(point + 1)).value_or(0)};
}

std::string FormatPosition(int left, int top) { return Format("%d.%d", left, top); }
