#ifndef VELMORJOB_TESTS_FAKE_SYSTEM_H_
#define VELMORJOB_TESTS_FAKE_SYSTEM_H_

#include <string>
#include <vector>

// Stands in for system() as the step runner's execute: records each command
// and answers with the next prepared result, 0 when none is left.
struct TFakeSystem {
  static std::vector<std::string> commands;
  static std::vector<int> results;

  static void Reset();
  static int Execute(const char* command);
};

#endif  // VELMORJOB_TESTS_FAKE_SYSTEM_H_
