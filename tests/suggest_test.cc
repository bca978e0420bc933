#include "check/suggest.h"

#include <initializer_list>
#include <string>

#include <gtest/gtest.h>

namespace {

TEST(SuggestTest, ComparesWithCaseIgnored) {
  EXPECT_TRUE(EqualIgnoringCase("jOB", "Job"));
  EXPECT_TRUE(EqualIgnoringCase("", ""));
  EXPECT_FALSE(EqualIgnoringCase("Jobs", "Job"));
  // Only ASCII letters fold: '[' and '{' are 'Z' + 1 and 'z' + 1.
  EXPECT_FALSE(EqualIgnoringCase("[", "{"));
  EXPECT_FALSE(EqualIgnoringCase("\xc0", "\xe0"));
}

TEST(SuggestTest, CountsEditsWithCaseIgnored) {
  const struct {
    const char* a;
    const char* b;
    int distance;
  } cases[] = {
      {"", "", 0},
      {"", "abc", 3},
      {"maxfiles", "MaxFiles", 0},
      {"MaxFile", "MaxFiles", 1},    // insertion
      {"MaxFilesX", "MaxFiles", 1},  // deletion
      {"MaxFilas", "MaxFiles", 1},   // substitution
      {"MaxFlies", "MaxFiles", 1},   // two neighbours swapped
      {"axFlies", "MaxFiles", 2},    // deletion and swap
      {"Statistic", "Sleep", 8},
      {"ca", "abc", 3},  // a swap is not followed by further edits of the same letters
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.a) + " / " + c.b);
    EXPECT_EQ(c.distance, CaselessEditDistance(c.a, c.b));
    EXPECT_EQ(c.distance, CaselessEditDistance(c.b, c.a));
  }
}

std::string Closest(const char* word, std::initializer_list<const char*> candidates) {
  TClosest closest(word);
  for (const char* candidate : candidates) closest.Offer(candidate);
  return std::string(closest.Best());
}

TEST(SuggestTest, OffersTheClosestCandidateWithinTheEditsItsLengthAllows) {
  const struct {
    const char* word;
    std::initializer_list<const char*> candidates;
    const char* best;
  } cases[] = {
      {"maxfiles", {"URL", "MaxFiles", "Sleep"}, "MaxFiles"},
      {"MAXFILES", {"MaxFiles"}, "MaxFiles"},
      {"MxFils", {"MaxFiles"}, "MaxFiles"},
      {"MxFls", {"MaxFiles"}, ""},  // three edits
      {"yes", {"Yes", "No"}, "Yes"},
      {"Ye", {"Yes", "No"}, "Yes"},
      {"Y", {"Yes", "No"}, ""},  // a three-letter word allows one edit
      {"no", {"Yes", "No"}, "No"},
      {"on", {"Yes", "No"}, ""},  // and a two-letter word none but case
      {"N", {"Yes", "No"}, ""},
      {"Apend", {"No", "Append", "Overwrite"}, "Append"},
      {"Sleeep", {"Sleep", "Language"}, "Sleep"},
      {"Proxyport", {"ProxyServer", "ProxyPort", "ProxyLogin"}, "ProxyPort"},
      // The nearer wins, then the first offered.
      {"MetaRobot", {"MetaDescription", "MetaRobots"}, "MetaRobots"},
      {"Pat", {"Path", "Page"}, "Path"},
      {"Pag", {"Path", "Page"}, "Page"},
      {"Pa", {"Path", "Page"}, ""},
      // Equally near: the first offered wins, in either order.
      {"Pate", {"Path", "Page"}, "Path"},
      {"Pate", {"Page", "Path"}, "Page"},
      {"Bogus", {"URL", "MaxFiles", "Sleep"}, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.word);
    EXPECT_EQ(c.best, Closest(c.word, c.candidates));
  }
}

}  // namespace
