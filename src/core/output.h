#ifndef VELMORJOB_CORE_OUTPUT_H_
#define VELMORJOB_CORE_OUTPUT_H_

#include <initializer_list>
#include <string_view>

// velmorjob's own output: its messages, and the data of --list, --help and
// --dry-run. Everything goes out through write(2) from buffers of its own,
// so that a write a signal interrupts is taken up again rather than lost,
// and a failed write is seen at once and told once.
//
// A write to a stream that nobody empties (a full pipe) would wait for
// ever; once a stop signal has come, each write waits a short while at
// most and what cannot be written then is dropped, so that the run still
// ends promptly (with 128 + the signal's number, which says more than a
// lost message would).

// Where the messages go.
enum class TMessages {
  kStandardOutput,  // a run, --check, --list
  kStandardError,   // a dry run: its standard output holds only commands
  kKept,            // --quiet: kept until the end of the run, then written or not
  kDropped,         // --quiet after a run that succeeded: not written at all
};
void SetMessages(TMessages where);
// Forgets all that was buffered, kept or failed: the output of a program
// that starts anew, messages to standard output.
void ResetOutput();

// A message of the program: a banner, an error, what a step did.
void Say(std::string_view text);
// The same from pieces, put together in the output's own buffer: a message
// said for many lines of a file costs no memory of its own.
void Say(std::initializer_list<std::string_view> pieces);
// A line for the operator on standard error, such as "velmorjob: cannot
// write output: Broken pipe\n": not one of the run's messages, so it is not
// moved to the other stream by a dry run. Under --quiet it is kept with
// the messages, in the order in which they came.
void SayError(std::string_view text);
// Data on standard output: job names, help, the commands of a dry run.
void Print(std::string_view text);

// Writes out what is buffered. The first time a write fails, says so on
// standard error ("velmorjob: cannot write output: REASON") and remembers
// it. Returns whether everything so far was written.
bool FlushOutput();

// Whether a write of the program's own output has failed since
// ResetOutput.
bool OutputFailed();

// Writes out what is buffered for standard output and tells nothing, for
// the last words of a program that has run out of memory. Allocates
// nothing.
void FlushBufferedOutput();

// A write of the program's own standard output or standard error failed
// elsewhere (step output passed on): told and counted as FlushOutput would.
void NoteOutputError(int error_number);

// Writes the kept messages to their streams, in order, when `write`, and
// forgets them either way; messages that come after go to standard output
// when `write`, and nowhere otherwise.
void ReleaseKeptMessages(bool write);

// Writes all of text to the descriptor, taking up a write that a signal
// interrupted and waiting on a descriptor that is not ready; gives up once
// a stop signal has come and the descriptor stays full (see above).
// Returns 0, or the errno of the write that failed (0 also when it gave
// up after a stop signal).
int WriteAll(int fd, std::string_view text);

// Makes sure the standard descriptors 0, 1 and 2 are open, so that no file
// the program opens takes their place: a closed one is opened on /dev/null
// for the other direction, so that using it still fails as before.
void KeepStandardDescriptorsOpen();

#endif  // VELMORJOB_CORE_OUTPUT_H_
