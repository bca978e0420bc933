#include "fake_system.h"

void TFakeSystem::Answer(const std::vector<int>& statuses) {
  results.clear();
  for (const int status : statuses) results.push_back(TStepResult::FromWaitStatus(status));
}

TStepResult TFakeSystem::Run(const TProcessSetup& setup) {
  setups.push_back(setup);
  if (results.empty()) return TStepResult::FromWaitStatus(0);
  const TStepResult result = results.front();
  results.erase(results.begin());
  return result;
}

std::vector<std::string> TFakeSystem::Commands() const {
  std::vector<std::string> commands;
  for (const TProcessSetup& setup : setups) commands.push_back(setup.command);
  return commands;
}
