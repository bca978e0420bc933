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

std::unique_ptr<TServer> MakeStep(const TRunFile& row) {
  auto step = std::make_unique<TServer>();
  step->name = row.step;
  step->program = row.path;
  return step;
}
