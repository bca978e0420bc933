#ifndef VELMORJOB_JOB_RUN_FILES_H_
#define VELMORJOB_JOB_RUN_FILES_H_

// A kind of step and the program that runs it.
struct TRunFile {
  const char* step;  // the kind's name as written in a step header
  const char* path;  // the program, relative to the current directory
};

// The step kinds, ended by a row whose fields are null.
extern const TRunFile runfiles[];

// Whether a line that begins with '[' (and is not a job header) names the
// step kind of this row: the text right after the '[' begins with its name.
bool NamesStep(const char* line, const TRunFile& row);

#endif  // VELMORJOB_JOB_RUN_FILES_H_
