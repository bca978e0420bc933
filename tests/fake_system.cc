#include "fake_system.h"

std::vector<std::string> TFakeSystem::commands;
std::vector<int> TFakeSystem::results;

void TFakeSystem::Reset() {
  commands.clear();
  results.clear();
}

int TFakeSystem::Execute(const char* command) {
  commands.emplace_back(command);
  if (results.empty()) return 0;
  const int result = results.front();
  results.erase(results.begin());
  return result;
}
