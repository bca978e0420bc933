#include "check/suggest.h"

#include <algorithm>
#include <vector>

namespace {

char Fold(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool Same(char a, char b) { return Fold(a) == Fold(b); }

// The edits a candidate of this length may be away from the word.
int AllowedEdits(std::size_t length) {
  return static_cast<int>(std::min<std::size_t>(2, (length - 1) / 2));
}

}  // namespace

bool EqualIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (!Same(a[i], b[i])) return false;
  }
  return true;
}

int CaselessEditDistance(std::string_view a, std::string_view b) {
  // Three rows of the table of distances between prefixes: the one before
  // the last is needed for a swap of two neighbours.
  const std::size_t width = b.size() + 1;
  std::vector<int> before(width), last(width), row(width);
  for (std::size_t j = 0; j < width; ++j) last[j] = static_cast<int>(j);
  for (std::size_t i = 1; i <= a.size(); ++i) {
    row[0] = static_cast<int>(i);
    for (std::size_t j = 1; j < width; ++j) {
      const int substitute = last[j - 1] + (Same(a[i - 1], b[j - 1]) ? 0 : 1);
      row[j] = std::min({last[j] + 1, row[j - 1] + 1, substitute});
      if (i > 1 && j > 1 && Same(a[i - 1], b[j - 2]) && Same(a[i - 2], b[j - 1])) {
        row[j] = std::min(row[j], before[j - 2] + 1);
      }
    }
    before.swap(last);
    last.swap(row);
  }
  return last[b.size()];
}

void TClosest::Offer(std::string_view candidate) {
  if (candidate.empty()) return;
  const int allowed = AllowedEdits(candidate.size());
  // The distance is at least the difference of the lengths.
  const std::size_t longer = std::max(word_.size(), candidate.size());
  const std::size_t shorter = std::min(word_.size(), candidate.size());
  if (longer - shorter > static_cast<std::size_t>(allowed)) return;
  const int distance = CaselessEditDistance(word_, candidate);
  if (distance > allowed) return;
  if (best_.empty() || distance < best_distance_) {
    best_ = candidate;
    best_distance_ = distance;
  }
}
