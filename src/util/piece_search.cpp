#include "util/piece_search.h"

bool PieceSearch::Add(std::string_view piece) {
  if (position_ != 0) return true;
  if (needle_.empty()) {
    position_ = 1;
    return true;
  }
  const size_t keep = needle_.size() - 1;
  // A match that starts in the bytes kept from earlier pieces ends within
  // the first `keep` bytes of this one.
  const std::string edge = tail_ + std::string(piece.substr(0, keep));
  size_t found = edge.find(needle_);
  if (found == std::string::npos) {
    found = piece.find(needle_);
    if (found != std::string_view::npos) found += tail_.size();
  }
  if (found != std::string::npos) {
    position_ = consumed_ + static_cast<std::int64_t>(found) + 1;
    return true;
  }
  // Keep just enough to find a match that starts here and ends in a later piece.
  std::string next = piece.size() >= keep ? std::string(piece.substr(piece.size() - keep))
                                          : (tail_ + std::string(piece)).substr(0);
  if (next.size() > keep) next.erase(0, next.size() - keep);
  consumed_ += static_cast<std::int64_t>(tail_.size() + piece.size() - next.size());
  tail_ = std::move(next);
  return false;
}
