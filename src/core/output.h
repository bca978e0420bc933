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

// How much a message matters, as the journal files it: syslog's numbers.
// The rule of which message is which, stated here alone; whoever makes a
// message names its priority.
//   kError    something failed or was refused: a configuration error (a
//             bad line and the line itself, a file or job not found, a lock
//             file that cannot be used, a --from-step that names no step),
//             a usage error, a step that failed (each failed attempt and
//             what --quiet repeats of its output too), timed out or could
//             not start, a run past its deadline, a hook that failed, a
//             file or the output that could not be written, a run or a
//             --check stopped by a signal, running out of memory.
//   kWarning  nothing failed, but something is not as it should be or was
//             not done: a notice of something mended (the lock file's mode
//             made 0600), --check's "warning:" lines, a run not run because
//             another holds the lock, messages --quiet could not keep.
//   kInfo     everything else: the banner, the usage text, --verbose's
//             lines of a step that starts or succeeded, --check's summary.
enum class TPriority { kError = 3, kWarning = 4, kInfo = 6 };

// Where the messages go.
enum class TMessages {
  kStandardOutput,  // a run, --check, --list
  kStandardError,   // a dry run: its standard output holds only commands
  kKept,            // --quiet: kept until the end of the run, then written or not
  kDropped,         // --quiet after a run that succeeded: not written at all
};
void SetMessages(TMessages where);
// Forgets all that was buffered, kept or failed: the output of a program
// that starts anew, messages to standard output, no journal.
void ResetOutput();

// Under systemd: journal_stream is JOURNAL_STREAM's value (null when it is
// not set), "DEVICE:INODE" in decimal. Standard output and standard error,
// each on its own, are the journal's stream when that is their device and
// inode. There, each line of a message begins with its priority, "<3>",
// "<4>" or "<6>" (sd-daemon(3)), and a message that follows output that is
// no message (a step's, data) and may have left a line unfinished begins
// with a line end, so that its prefix begins a line. Data and the output
// of others are never changed; nor is anything when the value is malformed
// or names another file.
void FindJournalStream(const char* journal_stream);

// A message of the program: a banner, an error, what a step did. A
// message may be said in pieces, by more than one call: a line goes on
// where the last one left it.
void Say(TPriority priority, std::string_view text);
// The same from pieces, put together in the output's own buffer: a message
// said for many lines of a file costs no memory of its own.
void Say(TPriority priority, std::initializer_list<std::string_view> pieces);
// A line for the operator on standard error, such as "velmorjob: cannot
// write output: Broken pipe\n": not one of the run's messages, so it is not
// moved to the other stream by a dry run. Under --quiet it is kept with
// the messages, in the order in which they came.
void SayError(TPriority priority, std::string_view text);
// Data on standard output: job names, help, the commands of a dry run.
// Never changed, not even on the journal's stream.
void Print(std::string_view text);

// Writes out what is buffered. The first time a write fails, says so on
// standard error ("velmorjob: cannot write output: REASON") and remembers
// it. Returns whether everything so far was written.
bool FlushOutput();

// Whether a write of the program's own output has failed since
// ResetOutput.
bool OutputFailed();

// Writes out what is buffered for standard output, then the message there,
// and tells nothing, for the last words of a program that has run out of
// memory. Allocates nothing.
void SayLastWords(TPriority priority, std::string_view text);

// A write of the program's own standard output or standard error failed
// elsewhere (step output passed on): told and counted as FlushOutput would.
void NoteOutputError(int error_number);

// A process's output, passed on as it came, was written to descriptor fd
// (1 or 2): a message after it there begins a line of its own.
void OthersWrote(int fd, std::string_view bytes);
// A process was started that writes to the program's standard output and
// standard error itself: as what it leaves there is not known, a message
// after it begins a line of its own.
void OthersMayWrite();

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
