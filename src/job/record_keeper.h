#ifndef VELMORJOB_JOB_RECORD_KEEPER_H_
#define VELMORJOB_JOB_RECORD_KEEPER_H_

#include "core/run_events.h"
#include "core/run_record.h"
#include "job/run_settings.h"

// The listener that keeps the record of a run, for the report, the metrics,
// the hooks and --quiet: its configuration errors (the first
// TRunRecord::kMaxConfigMessages of them, the rest counted) and, when one
// of those reads them, every attempt. It decides alone what is kept: a run
// that asked for none of them keeps no attempt, so that a job of a million
// steps costs no memory for each.
class TRecordKeeper : public TRunEvents {
 public:
  TRecordKeeper(TRunRecord& record, const TRunSettings& settings)
      : record_(record), settings_(settings) {}

  void ConfigError(const TConfigMessage& message) override;
  void AttemptEnded(const TStepRecord& attempt) override;

 private:
  TRunRecord& record_;
  const TRunSettings& settings_;
};

#endif  // VELMORJOB_JOB_RECORD_KEEPER_H_
