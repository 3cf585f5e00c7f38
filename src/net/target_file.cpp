#include "net/target_file.h"

std::vector<std::size_t> SeparatorPositions(const std::string& path) {
  std::vector<std::size_t> positions;
  for (std::size_t i = 0; i < path.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(path[i]);
    if (c >= 0x80) {
      ++i;  // lead byte: the next byte belongs to the same character
    } else if (c == '\\' || c == '/') {
      positions.push_back(i);
    }
  }
  return positions;
}

std::vector<std::string> FoldersLeadingTo(const std::string& path, bool backslashSeparates) {
  std::vector<std::string> folders;
  for (std::size_t position : SeparatorPositions(path)) {
    if (!backslashSeparates && path[position] == '\\') continue;
    if (position > 0) folders.push_back(path.substr(0, position));
  }
  return folders;
}
