#ifndef VELMORJOB_JOB_READ_JOB_H_
#define VELMORJOB_JOB_READ_JOB_H_

#include <functional>
#include <string>

#include "core/server.h"
#include "job/section_scan.h"

// What the job reader hands up.
struct TJobSteps {
  // The job's steps, once its whole section has been read without error:
  // run them (lock, hooks and all), or print them for a dry run. head is
  // null for a job without steps.
  std::function<void(const TServer* head)> run;
  // The line that is wrong, as read into str (the line counter, how it was
  // scanned, the job's name, and the kind of the step it would belong to,
  // "" before the first step): nothing of the job runs.
  std::function<void(long counter, const TScannedLine& line, const std::string& job,
                     const std::string& step)>
      bad_line;
};

// Reads the rest of the requested job's section from the open configuration
// file, given the line counter of its header, and hands its steps to
// `steps.run` once the whole section has been read without error. Returns
// the line counter after the last read. Sets jobend when the section was
// read to its end; after a bad line (handed to `steps.bad_line`) or a read
// error (left to the caller) it does not, and nothing runs.
long ReadJob(long counter, const TJobSteps& steps);

#endif  // VELMORJOB_JOB_READ_JOB_H_
