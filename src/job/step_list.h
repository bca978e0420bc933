#ifndef VELMORJOB_JOB_STEP_LIST_H_
#define VELMORJOB_JOB_STEP_LIST_H_

#include <memory>

#include "core/server.h"
#include "job/run_files.h"

// The steps of one job in file order. Owns every node; appending is O(1).
struct TStepList {
  std::unique_ptr<TServer> head;
  TServer* last = nullptr;

  bool Empty() const { return head == nullptr; }
  void Append(std::unique_ptr<TServer> step);
};

// Makes step a step of the given kind with no options yet.
void ResetStep(TServer& step, const TRunFile& row);

// A new step of the given kind with no options yet.
std::unique_ptr<TServer> MakeStep(const TRunFile& row);

#endif  // VELMORJOB_JOB_STEP_LIST_H_
