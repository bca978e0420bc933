#ifndef VELMORJOB_CHECK_SUGGEST_H_
#define VELMORJOB_CHECK_SUGGEST_H_

#include <string_view>

// Finds, among the words a setting may hold, the one an operator most
// likely meant when writing a word that is none of them.

// Whether a and b differ at most in the case of ASCII letters.
bool EqualIgnoringCase(std::string_view a, std::string_view b);

// How many single-byte insertions, deletions, substitutions and swaps of
// two neighbours turn a into b, with ASCII letters that differ only in case
// counted as equal.
int CaselessEditDistance(std::string_view a, std::string_view b);

// The candidate closest to a word: one that differs from it only in case,
// or by one or two edits. Short candidates allow fewer edits (none for two
// letters, one for three or four), so that a short word is not taken for
// another short word it merely resembles. On a tie the candidate offered
// first wins.
class TClosest {
 public:
  explicit TClosest(std::string_view word) : word_(word) {}

  void Offer(std::string_view candidate);
  // The closest candidate offered, or an empty view when none is close.
  std::string_view Best() const { return best_; }

 private:
  std::string_view word_;
  std::string_view best_;
  int best_distance_ = 0;
};

#endif  // VELMORJOB_CHECK_SUGGEST_H_
