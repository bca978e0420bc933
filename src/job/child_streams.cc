#include "job/child_streams.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/output.h"

namespace {

// How much is read at once, and how much read output may wait to be passed
// on before the process's pipe is left to fill up.
constexpr std::size_t kChunk = 128 * 1024;
// How many reads one ready pipe gets before the process loop looks again.
constexpr int kReadsAtOnce = 16;

void CloseFd(int& fd) {
  if (fd >= 0) close(fd);
  fd = -1;
}

bool MakePipe(int& read_end, int& write_end) {
  int ends[2];
  if (pipe2(ends, O_CLOEXEC) != 0) return false;
  read_end = ends[0];
  write_end = ends[1];
  return true;
}

void SetNonBlocking(int fd) { fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK); }

// Whether a write of much at once to the descriptor may wait for a reader.
bool MayBlock(int fd) {
  struct stat status = {};
  if (fstat(fd, &status) != 0) return true;
  return !S_ISREG(status.st_mode) && !(S_ISCHR(status.st_mode) && !isatty(fd));
}

}  // namespace

TChildStreams::TChildStreams(const std::string* input, TOutputTail* tail, bool pass_on)
    : input_(input), tail_(tail), pass_on_(pass_on) {}

TChildStreams::~TChildStreams() {
  CloseFd(input_fd_);
  CloseFd(child_input_);
  CloseFd(out_.fd);
  CloseFd(err_.fd);
  CloseFd(child_out_);
  CloseFd(child_err_);
}

bool TChildStreams::Open() {
  if (input_ != nullptr && !MakePipe(child_input_, input_fd_)) return false;
  if (tail_ != nullptr) {
    if (!MakePipe(out_.fd, child_out_) || !MakePipe(err_.fd, child_err_)) return false;
    out_.pass.small_writes = MayBlock(1);
    err_.pass.small_writes = MayBlock(2);
  }
  return true;
}

void TChildStreams::InChild() const {
  if (child_input_ >= 0) dup2(child_input_, 0);
  if (child_out_ >= 0) dup2(child_out_, 1);
  if (child_err_ >= 0) dup2(child_err_, 2);
}

void TChildStreams::InParent() {
  // A process that writes to velmorjob's own descriptors: what it leaves
  // there is not seen.
  if (tail_ == nullptr) OthersMayWrite();
  CloseFd(child_input_);
  CloseFd(child_out_);
  CloseFd(child_err_);
  for (const int fd : {input_fd_, out_.fd, err_.fd}) {
    if (fd >= 0) SetNonBlocking(fd);
  }
  Feed();
}

void TChildStreams::Want(std::vector<pollfd>& fds) const {
  if (input_fd_ >= 0) fds.push_back({input_fd_, POLLOUT, 0});
  for (const TSource* source : {&out_, &err_}) {
    if (source->fd >= 0 && source->pass.data.size() < kChunk) {
      fds.push_back({source->fd, POLLIN, 0});
    }
    if (!source->pass.data.empty()) fds.push_back({source->pass.to, POLLOUT, 0});
  }
}

void TChildStreams::Serve(const std::vector<pollfd>& fds) {
  for (const pollfd& ready : fds) {
    if (ready.revents == 0) continue;
    if (ready.fd == input_fd_) {
      Feed();
      continue;
    }
    for (TSource* source : {&out_, &err_}) {
      if (ready.fd == source->fd && (ready.events & POLLIN) != 0) Read(*source, false);
      if (ready.fd == source->pass.to && (ready.events & POLLOUT) != 0) WriteSome(source->pass);
    }
  }
}

void TChildStreams::Finish() {
  CloseInput();
  for (TSource* source : {&out_, &err_}) {
    if (source->fd < 0) continue;
    Read(*source, true);
    CloseFd(source->fd);
    if (!source->pass.failed && !source->pass.data.empty()) {
      if (const int error = WriteAll(source->pass.to, source->pass.data)) NoteOutputError(error);
      OthersWrote(source->pass.to, source->pass.data);
    }
    source->pass.data.clear();
  }
}

void TChildStreams::Read(TSource& source, bool drain) {
  // Two buffers in turn: a chunk goes into the tail only once the next one
  // has shown that it does not push the whole chunk out again, so that a
  // step that floods its output is not copied into the tail as well.
  char buffers[2][kChunk];
  int next_buffer = 0;
  std::string_view waiting;
  auto keep = [this, &waiting](std::size_t next) {
    if (next >= tail_->limit()) {
      tail_->Skip(waiting.size());
    } else {
      tail_->Append(waiting);
    }
    waiting = {};
  };
  // Reads again at once while what it read goes straight on, so that a step
  // that floods its output costs a poll for every few megabytes; after that
  // the loop looks at the signals and the time limits again.
  for (int reads = 0; drain || reads < kReadsAtOnce; ++reads) {
    char* buffer = buffers[next_buffer];
    const std::size_t room = drain ? kChunk : kChunk - source.pass.data.size();
    const ssize_t got = read_(source.fd, buffer, std::min(room, kChunk));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) {
      // The end (every writer has closed it) or nothing more for now.
      if (got == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) CloseFd(source.fd);
      break;
    }
    const std::string_view bytes(buffer, static_cast<std::size_t>(got));
    keep(bytes.size());
    waiting = bytes;
    next_buffer = 1 - next_buffer;
    if (!pass_on_ || source.pass.failed) continue;
    // Into a file or a device that takes it at once, written from here
    // without a copy; what a pipe or a terminal would have to wait for
    // waits until it is ready. Passed on as read while draining: nothing is
    // waited for then.
    const bool at_once = !source.pass.small_writes || drain;
    if (!at_once) {
      source.pass.data.append(bytes);
      break;
    }
    // What waited before goes first.
    int error = source.pass.data.empty() ? 0 : WriteAll(source.pass.to, source.pass.data);
    source.pass.data.clear();
    if (error == 0) error = WriteAll(source.pass.to, bytes);
    OthersWrote(source.pass.to, bytes);
    if (error != 0) {
      NoteOutputError(error);
      source.pass.failed = true;
    }
  }
  keep(0);
}

void TChildStreams::WriteSome(TPassOn& pass) {
  const std::size_t size =
      pass.small_writes ? std::min<std::size_t>(pass.data.size(), PIPE_BUF) : pass.data.size();
  const ssize_t written = write(pass.to, pass.data.data(), size);
  if (written >= 0) {
    OthersWrote(pass.to, std::string_view(pass.data.data(), static_cast<std::size_t>(written)));
    pass.data.erase(0, static_cast<std::size_t>(written));
    return;
  }
  if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) return;
  // velmorjob's own output failed: told once, and from then on the
  // process's output is only kept. The process runs on.
  NoteOutputError(errno);
  pass.failed = true;
  pass.data.clear();
}

void TChildStreams::Feed() {
  if (input_fd_ < 0) return;
  // A process that closed its input ends the feeding with EPIPE, never
  // with a SIGPIPE to velmorjob, whatever its disposition: one raised here
  // is taken before SIGPIPE is let in again.
  sigset_t pipe_signal;
  sigemptyset(&pipe_signal);
  sigaddset(&pipe_signal, SIGPIPE);
  sigset_t before;
  pthread_sigmask(SIG_BLOCK, &pipe_signal, &before);
  bool raised = false;
  while (fed_ < input_->size()) {
    const ssize_t written = write(input_fd_, input_->data() + fed_, input_->size() - fed_);
    if (written > 0) {
      fed_ += static_cast<std::size_t>(written);
      continue;
    }
    if (written < 0 && errno == EINTR) continue;
    if (written < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
    // The process closed its input: it has all it wants.
    raised = written < 0 && errno == EPIPE;
    CloseInput();
    break;
  }
  if (fed_ == input_->size()) CloseInput();
  if (raised && !sigismember(&before, SIGPIPE)) {
    const timespec now = {0, 0};
    sigtimedwait(&pipe_signal, nullptr, &now);
  }
  pthread_sigmask(SIG_SETMASK, &before, nullptr);
}

void TChildStreams::CloseInput() { CloseFd(input_fd_); }
