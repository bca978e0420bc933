#ifndef VELMORJOB_TESTS_FAKE_SYSTEM_H_
#define VELMORJOB_TESTS_FAKE_SYSTEM_H_

#include <string>
#include <vector>

#include "job/step_process.h"

// Stands in for the step process as the step runner's execute: records each
// command and the limits it got, and answers with the next prepared end
// (exit status 0 when none is left).
struct TFakeSystem {
  static std::vector<std::string> commands;
  static std::vector<TStepLimits> limits;
  static std::vector<TStepEnd> results;

  static void Reset();
  // Prepares the next ends from wait statuses as system() gives them.
  static void Answer(const std::vector<int>& statuses);
  static TStepEnd Execute(const std::string& command, const TStepLimits& step_limits);
};

#endif  // VELMORJOB_TESTS_FAKE_SYSTEM_H_
