#include "core/signal_names.h"

#include <csignal>
#include <cstring>

#include <gtest/gtest.h>

namespace {

TEST(SignalNamesTest, NamesTheSignalsOfPosixAndNumbersAnyOther) {
  EXPECT_EQ("SIGTERM", SignalName(SIGTERM));
  EXPECT_EQ("SIGKILL", SignalName(SIGKILL));
  EXPECT_EQ("SIGSEGV", SignalName(SIGSEGV));
  EXPECT_EQ("SIGHUP", SignalName(SIGHUP));
  EXPECT_EQ("SIGQUIT", SignalName(SIGQUIT));
  EXPECT_EQ("signal 40", SignalName(40));
  EXPECT_EQ("signal 40", SignalMeaning(40));
}

// Each meaning is the C library's own words, so that a step killed by a
// signal is told as the shell would tell it.
TEST(SignalNamesTest, MeaningsAreTheCLibrarysWords) {
  for (int number = 1; number < 32; ++number) {
    if (SignalName(number) == "signal " + std::to_string(number)) continue;
    SCOPED_TRACE(SignalName(number));
    EXPECT_EQ(std::string(strsignal(number)), SignalMeaning(number));
  }
  EXPECT_EQ("Terminated", SignalMeaning(SIGTERM));
  EXPECT_EQ("Killed", SignalMeaning(SIGKILL));
}

}  // namespace
