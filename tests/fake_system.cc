#include "fake_system.h"

std::vector<std::string> TFakeSystem::commands;
std::vector<TStepLimits> TFakeSystem::limits;
std::vector<TStepEnd> TFakeSystem::results;

void TFakeSystem::Reset() {
  commands.clear();
  limits.clear();
  results.clear();
}

void TFakeSystem::Answer(const std::vector<int>& statuses) {
  results.clear();
  for (const int status : statuses) {
    TStepEnd end;
    end.status = status;
    results.push_back(end);
  }
}

TStepEnd TFakeSystem::Execute(const std::string& command, const TStepLimits& step_limits) {
  commands.push_back(command);
  limits.push_back(step_limits);
  TStepEnd end;
  end.status = 0;
  if (results.empty()) return end;
  end = results.front();
  results.erase(results.begin());
  return end;
}
