#include "core/output.h"

#include <cerrno>
#include <climits>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <unistd.h>
#include <utility>
#include <vector>

#include "core/stop_signal.h"

namespace {

// Buffered output is written out once it reaches this size.
constexpr std::size_t kBufferLimit = 64 * 1024;
// After a stop signal, how long one write may wait for a full stream.
constexpr int kStoppedWaitMilliseconds = 1000;
// Kept messages beyond this size are counted, not kept.
constexpr std::size_t kKeptLimit = 16 * 1024 * 1024;

struct TKept {
  int fd;
  std::string text;
};

struct TOutputState {
  TMessages messages = TMessages::kStandardOutput;
  std::string out;  // buffered for descriptor 1
  std::vector<TKept> kept;
  std::size_t kept_bytes = 0;
  std::size_t dropped_bytes = 0;
  // A write of the program's own output failed, and was told.
  bool failed = false;
};

TOutputState state;

// Waits until the descriptor takes a write; false when it did not within
// the wait allowed.
bool AwaitWritable(int fd, int milliseconds) {
  pollfd ready = {fd, POLLOUT, 0};
  for (;;) {
    const int got = poll(&ready, 1, milliseconds);
    if (got > 0) return true;
    if (got == 0) return false;
    if (errno != EINTR) return true;  // let the write tell what is wrong
    if (StopSignal() != 0 && milliseconds < 0) milliseconds = kStoppedWaitMilliseconds;
  }
}

void Tell(int error_number) {
  if (state.failed) return;
  state.failed = true;
  const std::string line =
      std::string("velmorjob: cannot write output: ") + std::strerror(error_number) + "\n";
  WriteAll(2, line);
}

bool FlushOut() {
  if (state.out.empty()) return true;
  const int error = WriteAll(1, state.out);
  state.out.clear();
  if (error == 0) return true;
  Tell(error);
  return false;
}

void Write(int fd, std::string_view text) {
  if (fd == 1) {
    state.out.append(text);
    if (state.out.size() >= kBufferLimit) FlushOut();
    return;
  }
  // What goes to standard error comes after what was printed before it.
  FlushOut();
  if (const int error = WriteAll(fd, text)) Tell(error);
}

void Keep(int fd, std::string_view text) {
  if (state.kept_bytes + text.size() > kKeptLimit) {
    state.dropped_bytes += text.size();
    return;
  }
  state.kept_bytes += text.size();
  if (!state.kept.empty() && state.kept.back().fd == fd) {
    state.kept.back().text.append(text);
  } else {
    state.kept.push_back(TKept{fd, std::string(text)});
  }
}

}  // namespace

void ResetOutput() { state = TOutputState(); }

void SetMessages(TMessages where) {
  state.messages = where;
  state.kept.clear();
  state.kept_bytes = state.dropped_bytes = 0;
}

void Say(std::string_view text) {
  switch (state.messages) {
    case TMessages::kStandardOutput: Write(1, text); break;
    case TMessages::kStandardError: Write(2, text); break;
    case TMessages::kKept: Keep(1, text); break;
    case TMessages::kDropped: break;
  }
}

void Say(std::initializer_list<std::string_view> pieces) {
  if (state.messages == TMessages::kStandardOutput) {
    for (const std::string_view piece : pieces) state.out.append(piece);
    if (state.out.size() >= kBufferLimit) FlushOut();
    return;
  }
  std::string text;
  for (const std::string_view piece : pieces) text.append(piece);
  Say(text);
}

void SayError(std::string_view text) {
  switch (state.messages) {
    case TMessages::kKept: Keep(2, text); break;
    case TMessages::kDropped: break;
    default: Write(2, text);
  }
}

void Print(std::string_view text) { Write(1, text); }

bool FlushOutput() { return FlushOut() && !state.failed; }

bool OutputFailed() { return state.failed; }

void NoteOutputError(int error_number) { Tell(error_number); }

void FlushBufferedOutput() {
  WriteAll(1, state.out);
  state.out.clear();
}

void ReleaseKeptMessages(bool write) {
  std::vector<TKept> kept = std::move(state.kept);
  const std::size_t dropped = state.dropped_bytes;
  SetMessages(write ? TMessages::kStandardOutput : TMessages::kDropped);
  if (!write) return;
  for (const TKept& message : kept) Write(message.fd, message.text);
  if (dropped > 0) {
    Write(1, "(" + std::to_string(dropped) + " more bytes of messages were not kept)\n");
  }
}

int WriteAll(int fd, std::string_view text) {
  while (!text.empty()) {
    if (StopSignal() != 0 && !AwaitWritable(fd, kStoppedWaitMilliseconds)) return 0;
    // After a stop signal, no more than a pipe takes at once without
    // waiting for its reader.
    const std::size_t size =
        StopSignal() != 0 && text.size() > PIPE_BUF ? std::size_t{PIPE_BUF} : text.size();
    const ssize_t written = write(fd, text.data(), size);
    if (written >= 0) {
      text.remove_prefix(static_cast<std::size_t>(written));
      continue;
    }
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) {
      // A descriptor made non-blocking by whoever shares it.
      if (!AwaitWritable(fd, StopSignal() != 0 ? kStoppedWaitMilliseconds : -1)) return 0;
      continue;
    }
    return errno;
  }
  return 0;
}

void KeepStandardDescriptorsOpen() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (fcntl(fd, F_GETFD) >= 0 || errno != EBADF) continue;
    // Opened the other way round, so that reading or writing it fails as
    // on a closed descriptor.
    const int opened = open("/dev/null", fd == 0 ? O_WRONLY : O_RDONLY);
    if (opened >= 0 && opened != fd) {
      dup2(opened, fd);
      close(opened);
    }
  }
}
