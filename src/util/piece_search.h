// Finds a text in a stream of pieces without keeping the pieces: the CTID
// page's element texts repeat their nested content, so on a deep page their
// plain concatenation grows with the square of the page's size while only the
// position of one short word is wanted.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

class PieceSearch {
 public:
  explicit PieceSearch(std::string needle) : needle_(std::move(needle)) {}

  // Appends a piece; true once the needle has been found, after which later
  // pieces cannot change the result.
  bool Add(std::string_view piece);
  // 1-based byte position of the first occurrence in the concatenation of
  // the pieces so far, a match across piece boundaries included; 0 while
  // there is none.
  std::int64_t Position() const { return position_; }

 private:
  std::string needle_;
  std::string tail_;           // the last bytes seen, shorter than the needle
  std::int64_t consumed_ = 0;  // bytes seen before tail_
  std::int64_t position_ = 0;
};
