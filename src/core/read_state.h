#ifndef VELMORJOB_CORE_READ_STATE_H_
#define VELMORJOB_CORE_READ_STATE_H_

#include <string_view>

#include "core/line_reader.h"
#include "core/run_record.h"

// The reading state shared by the job lookup and the job reader: both read
// the one configuration file, line by line, into the one line buffer.

// Size of the line buffer: one read delivers at most kLineSize - 1 bytes.
constexpr int kLineSize = 255;

// The line read last, after the comment cut.
extern char str[kLineSize];
// The open configuration file.
extern TLineReader fp;
// Whether the last ReadLine cut a comment off the text it put in str.
extern bool comment_cut;
// Set to 1 by the job reader once it has read the requested job's section to
// its end; the lookup stops scanning then.
extern int jobend;

enum class TRead {
  kLine,     // a piece of a line was read into str
  kNothing,  // the end of the file: str is as it was
  kFailed,   // the file could not be read: str is not to be used
  kStopped,  // a stop signal came: nothing more is read
};

// Reads one line into str: at most kLineSize - 1 bytes up to and including
// the next newline, cut at the first '#'. Every read counts one line,
// including the one at the end of the file that finds nothing. Counters are
// long so that no file, however many lines it has, can overflow them.
TRead ReadLine(long& counter);

// Passes over the lines that do not begin with `keep`, counting each as
// ReadLine would, without reading them into str; the next ReadLine reads the
// first line that does. `keep` holds no '#' and no NUL, so that a line
// begins with it before the comment cut just when it does after. For scans
// that look only at lines that begin with `keep`: any other line is the
// same to them whatever else it holds.
void SkipLines(std::string_view keep, long& counter);

// When the next line, as ReadLine would read it, is the well-formed header
// of a job other than `job`, passes over it where it lies in the reader's
// block, counts it and returns true; otherwise, or when the reader's block
// does not hold all of it, reads nothing and returns false. str is left as
// it was: a scan for `job` does nothing with such a line.
bool PassHeaderOfOtherJob(std::string_view job, long& counter);

// Empties str, as the lookup does before each of its reads, so that a read
// at the end of the file leaves an empty line rather than the previous one.
void ClearLine();

// The message of a bad line: "Error at line N:" followed by the line as
// held in str, with `reason`, what --check says of the line, for the run
// report.
TConfigMessage LineError(long counter, std::string reason);

#endif  // VELMORJOB_CORE_READ_STATE_H_
