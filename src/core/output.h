#ifndef VELMORJOB_CORE_OUTPUT_H_
#define VELMORJOB_CORE_OUTPUT_H_

// Flushes standard output and checks that everything printed so far was
// written. The first time writing failed, says so on standard error
// ("velmorjob: cannot write output: <reason>") and records it in the
// outcome. Returns whether all output was written.
bool FlushOutput();

#endif  // VELMORJOB_CORE_OUTPUT_H_
