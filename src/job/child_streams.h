#ifndef VELMORJOB_JOB_CHILD_STREAMS_H_
#define VELMORJOB_JOB_CHILD_STREAMS_H_

#include <poll.h>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <unistd.h>
#include <vector>

#include "job/output_tail.h"

// The standard streams of a process of the run where velmorjob stands
// between it and its own: a standard input fed from a text, and a
// standard output and error read through pipes, kept in a tail (both
// streams merged in the order the bytes came) and, unless told otherwise,
// passed on to velmorjob's own standard output and standard error as they
// come; the output is told what was passed on, or that a process writes
// to velmorjob's own descriptors itself, so that a message after it on the
// journal's stream begins a line of its own. Nothing waits: the process
// loop polls the descriptors Want() names and calls Serve() with what is
// ready, so a process that floods its output, stops reading its input or
// closes a stream early never blocks the run, and a slow reader of
// velmorjob's output slows the process down rather than filling memory.
class TChildStreams {
 public:
  // input: fed to the process's standard input, then closed; null: the
  // process inherits velmorjob's. tail: where its output is kept; null: it
  // inherits velmorjob's standard output and error.
  TChildStreams(const std::string* input, TOutputTail* tail, bool pass_on);
  ~TChildStreams();
  TChildStreams(const TChildStreams&) = delete;
  TChildStreams& operator=(const TChildStreams&) = delete;

  // Makes the pipes; false, with errno set, when it cannot.
  bool Open();
  // In the child, after fork(): puts its ends of the pipes in the place of
  // descriptors 0, 1 and 2. Async-signal-safe.
  void InChild() const;
  // In the parent, after fork(): closes the child's ends.
  void InParent();

  // Adds the descriptors to wait on, with the events wanted now.
  void Want(std::vector<pollfd>& fds) const;
  // Moves what the ready descriptors allow.
  void Serve(const std::vector<pollfd>& fds);
  // Once the process has ended: takes what is already in the pipes
  // without waiting, passes it on, and closes them. A process it left
  // behind that goes on writing gets SIGPIPE (or EPIPE) from then on.
  void Finish();

  // How the process's output is read: read(2), unless a test puts a reader
  // in its place that gives chunks of its choosing.
  using TReadFunction = ssize_t (*)(int fd, void* buffer, std::size_t size);
  void SetReadFunction(TReadFunction read_function) { read_ = read_function; }

 private:
  struct TPassOn {
    int to;            // velmorjob's own descriptor, 1 or 2
    std::string data;  // read and not yet written
    bool failed = false;
    bool small_writes = false;  // a pipe, socket or terminal: at most PIPE_BUF a write
  };
  struct TSource {
    int fd = -1;  // our end of the pipe
    TPassOn pass;
  };

  void Read(TSource& source, bool drain);
  void WriteSome(TPassOn& pass);
  void Feed();
  void CloseInput();

  TReadFunction read_ = ::read;
  const std::string* input_;
  TOutputTail* tail_;
  bool pass_on_;
  std::size_t fed_ = 0;
  int input_fd_ = -1;     // our end of the input pipe
  int child_input_ = -1;  // the child's end
  TSource out_{-1, {1, {}}};
  TSource err_{-1, {2, {}}};
  int child_out_ = -1;
  int child_err_ = -1;
};

#endif  // VELMORJOB_JOB_CHILD_STREAMS_H_
