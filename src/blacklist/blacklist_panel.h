// What the blacklist panel (TfrmBlackList) decides, apart from its window:
// the text drawn for a line (six digits of the ID never shown), the colours of
// its rows, what a click copies and which lines a find selects.
#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct Rgb {
  int r = 0, g = 0, b = 0;
  bool operator==(const Rgb&) const = default;
};

// Background of an unselected row: light blue on even indexes (sky blue
// RGB(166, 202, 240) moved 71/128 of the way to white), white on odd ones.
Rgb BlacklistRowColour(int index);

// Characters 1-12 of the line, "xxxxxx", then the line from character 19 on:
// digits 13-18 of the ID (birth day and last four) are never drawn. Cuts never
// split a two-byte character.
std::string MaskedLineText(const std::string& line);

// The list's hint holds 1023 bytes and a NUL.
inline constexpr std::size_t kMaxHintBytes = 1023;

// A click on a line: its first 14 characters for the find box, and the hint
// (the fields after the ID and its separator, from character 20 on, at most
// kMaxHintBytes). Cuts never split a two-byte character.
struct LineClick {
  std::string editText;
  std::string hint;
};
LineClick ClickLine(const std::string& line);

// Find: nothing when the text is shorter than 2 characters (nothing changes,
// not even the status). Otherwise the selection of every line (lines
// containing the text before its first space, ASCII case ignored, selected;
// all others deselected) and the status "找到相关记录:" + count. With an empty
// key (the text starts with a space) the selection is left alone: `selected`
// is empty and the count 0.
struct FindResult {
  std::vector<bool> selected;
  int count = 0;
  std::string status;
};
std::optional<FindResult> FindLines(const std::vector<std::string>& lines, const std::string& text);
