#include "core/run_record.h"

#include <algorithm>

std::string StepLabel(long number, const std::string& program) {
  return std::to_string(number) + " \"" + program + "\"";
}

std::vector<const TStepRecord*> LastAttempts(const TRunRecord& record) {
  // Attempts of one step follow each other, and the steps run in order.
  std::vector<const TStepRecord*> last;
  for (const TStepRecord& step : record.steps) {
    if (!last.empty() && last.back()->number == step.number) {
      last.back() = &step;
    } else {
      last.push_back(&step);
    }
  }
  return last;
}

std::optional<int> FirstFailedStep(const TRunRecord& record) {
  for (const TStepRecord* step : LastAttempts(record)) {
    if (!step->running && step->result.Failed()) return step->number;
  }
  return std::nullopt;
}

long FailedSteps(const TRunRecord& record) {
  const std::vector<const TStepRecord*> last = LastAttempts(record);
  return static_cast<long>(std::count_if(last.begin(), last.end(), [](const TStepRecord* step) {
    return !step->running && step->result.Failed();
  }));
}
