#include "core/stop_signal.h"

#include <csignal>

#include <gtest/gtest.h>

namespace {

TEST(StopSignalTest, KeepsTheFirstSignalReceived) {
  InstallStopSignals();
  EXPECT_EQ(0, StopSignal());
  raise(SIGHUP);
  raise(SIGTERM);
  EXPECT_EQ(SIGHUP, StopSignal());
  RecordStopSignal(SIGINT);
  EXPECT_EQ(SIGHUP, StopSignal());
  // Installing again starts afresh.
  InstallStopSignals();
  EXPECT_EQ(0, StopSignal());
  RecordStopSignal(SIGQUIT);
  EXPECT_EQ(SIGQUIT, StopSignal());
}

TEST(StopSignalTest, SignalIgnoredByTheCallerStaysIgnored) {
  signal(SIGQUIT, SIG_IGN);
  InstallStopSignals();
  raise(SIGQUIT);
  EXPECT_EQ(0, StopSignal());
  struct sigaction action = {};
  sigaction(SIGQUIT, nullptr, &action);
  EXPECT_EQ(SIG_IGN, action.sa_handler);
  signal(SIGQUIT, SIG_DFL);
}

TEST(StopSignalTest, IgnoredSigchldIsCaughtSoThatStepsCanBeWaitedFor) {
  signal(SIGCHLD, SIG_IGN);
  InstallStopSignals();
  struct sigaction action = {};
  sigaction(SIGCHLD, nullptr, &action);
  EXPECT_NE(SIG_IGN, action.sa_handler);
}

}  // namespace
