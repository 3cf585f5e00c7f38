// Text the service's log and counts are made of: short, and without what a
// reader of the log should not learn (an ID number whole).
#pragma once
#include <cstddef>
#include <string>

// Every run of six or more digits (an ID number, its last character may be
// an "X") shown as its first three and last two characters with "*" between.
std::string MaskIdNumbers(const std::string& utf8);

// UTF-8 text cut to at most `maxBytes`, never inside a character.
std::string CutUtf8(const std::string& utf8, std::size_t maxBytes);
