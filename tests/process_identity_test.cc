#include "history/process_identity.h"

#include <string>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace {

TEST(ProcessIdentityTest, ReadsTheStartFromTheFieldsAfterTheName) {
  struct TCase {
    const char* stat;
    std::int64_t start;
  };
  // After the name: the state, the fields 4 to 21, then the start.
  const TCase cases[] = {
      {"42 (sh) S 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18 987654 19 20\n", 987654},
      // A name of spaces and parentheses is no field.
      {"42 (a) b (c) S 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18 55 19\n", 55},
      // The start as the last field.
      {"42 (sh) S 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18 7", 7},
      {"42 (sh) S 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18", 0},
      {"42 (sh) S 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18 x9 19", 0},
      {"42 sh S 1 2 3", 0},
      {"", 0},
  };
  for (const TCase& c : cases) EXPECT_EQ(c.start, StartFromStat(c.stat)) << c.stat;
}

TEST(ProcessIdentityTest, TellsARunningProcessFromOneGoneOrOneThatTookItsId) {
  const TProcessIdentity own = OwnProcess();
  EXPECT_EQ(getpid(), own.pid);
  EXPECT_NE(0, own.start);
  EXPECT_FALSE(own.boot_id.empty());
  EXPECT_TRUE(StillRuns(own));

  TProcessIdentity later = own;
  later.start = own.start + 1;
  EXPECT_FALSE(StillRuns(later)) << "the id taken by a process started at another time";
  TProcessIdentity rebooted = own;
  rebooted.boot_id = "00000000-0000-0000-0000-000000000000";
  EXPECT_FALSE(StillRuns(rebooted)) << "a run of an earlier boot";

  const pid_t child = fork();
  if (child == 0) _exit(0);
  waitpid(child, nullptr, 0);
  TProcessIdentity gone = own;
  gone.pid = child;
  gone.start = 0;
  EXPECT_FALSE(StillRuns(gone)) << "a process that ended";
}

}  // namespace
