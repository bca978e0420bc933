#ifndef VELMORJOB_TESTS_FAKE_SYSTEM_H_
#define VELMORJOB_TESTS_FAKE_SYSTEM_H_

#include <string>
#include <vector>

#include "job/step_process.h"
#include "job/step_runner.h"

// Stands in for the process control as the run's execute: records each
// process it is asked to run, and answers with the next prepared result
// (exit status 0 when none is left).
struct TFakeSystem {
  std::vector<TProcessSetup> setups;
  std::vector<TStepResult> results;

  // Prepares the next results from wait statuses as waitpid() gives them.
  void Answer(const std::vector<int>& statuses);
  // Prepares the next results as given.
  void AnswerResults(const std::vector<TStepResult>& prepared) { results = prepared; }
  TStepResult Run(const TProcessSetup& setup);
  // The command text of each process asked for, in order.
  std::vector<std::string> Commands() const;
  // An execute that runs here.
  TExecute Execute() {
    return [this](const TProcessSetup& setup) { return Run(setup); };
  }
};

#endif  // VELMORJOB_TESTS_FAKE_SYSTEM_H_
