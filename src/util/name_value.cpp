#include "util/name_value.h"

#include "util/text.h"

std::vector<std::string> NameValues(std::string_view text, std::string_view name) {
  std::vector<std::string> values;
  std::size_t begin = 0;
  while (begin <= text.size()) {
    std::size_t end = text.find_first_of("\r\n", begin);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view line = text.substr(begin, end - begin);
    const std::size_t equals = line.find('=');
    if (equals != std::string_view::npos && SameTextAscii(line.substr(0, equals), name)) {
      values.emplace_back(line.substr(equals + 1));
    }
    // CR LF counts as one break; an empty line between them changes nothing.
    begin = end + 1;
  }
  return values;
}
