#include "job/step_list.h"

void TStepList::Append(std::unique_ptr<TServer> step) {
  TServer* node = step.get();
  if (last == nullptr) {
    head = std::move(step);
  } else {
    last->next = std::move(step);
  }
  last = node;
}

void ResetStep(TServer& step, const TRunFile& row) {
  step.name = row.step;
  step.program = row.path;
  step.params.clear();
}

std::unique_ptr<TServer> MakeStep(const TRunFile& row) {
  auto step = std::make_unique<TServer>();
  ResetStep(*step, row);
  return step;
}
