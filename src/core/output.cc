#include "core/output.h"

#include <cerrno>
#include <climits>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <optional>
#include <poll.h>
#include <string>
#include <sys/stat.h>
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
  TPriority priority;
  std::string text;
};

// Where the journal's stream stands, as far as the program knows.
enum class TJournalLine {
  kStart,   // at the start of a line
  kOwn,     // in a line of a message, which the next message goes on with
  kOthers,  // in a line that is no message's, or where that is not known
};

struct TOutputState {
  TMessages messages = TMessages::kStandardOutput;
  std::string out;  // buffered for descriptor 1
  std::vector<TKept> kept;
  std::size_t kept_bytes = 0;
  std::size_t dropped_bytes = 0;
  // A write of the program's own output failed, and was told.
  bool failed = false;
  // Whether descriptors 1 and 2 are the journal's stream. When both are,
  // they are the same stream, with one line.
  bool journal_out = false;
  bool journal_err = false;
  TJournalLine journal_line = TJournalLine::kStart;
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

bool IsJournal(int fd) { return fd == 1 ? state.journal_out : fd == 2 && state.journal_err; }

// Hands emit the pieces that put text on the journal's stream as a message
// of the priority: a line end first when the line there is not a
// message's, and the priority's prefix where a line begins. Allocates
// nothing.
template <typename TEmit>
void ToJournal(TPriority priority, std::string_view text, const TEmit& emit) {
  const char prefix[] = {'<', static_cast<char>('0' + static_cast<int>(priority)), '>'};
  while (!text.empty()) {
    if (state.journal_line == TJournalLine::kOthers) emit("\n");
    if (state.journal_line != TJournalLine::kOwn) emit(std::string_view(prefix, sizeof prefix));
    const std::size_t end = text.find('\n');
    const std::size_t length = end == std::string_view::npos ? text.size() : end + 1;
    emit(text.substr(0, length));
    state.journal_line = end == std::string_view::npos ? TJournalLine::kOwn : TJournalLine::kStart;
    text.remove_prefix(length);
  }
}

// A message for descriptor fd, as it is to be written there.
std::string ForStream(int fd, TPriority priority, std::string_view text) {
  if (!IsJournal(fd)) return std::string(text);
  std::string written;
  ToJournal(priority, text, [&](std::string_view piece) { written.append(piece); });
  return written;
}

// Bytes that are no message went to descriptor fd: the line stands where
// they leave it.
void Passed(int fd, std::string_view bytes) {
  if (!IsJournal(fd) || bytes.empty()) return;
  state.journal_line = bytes.back() == '\n' ? TJournalLine::kStart : TJournalLine::kOthers;
}

void Tell(int error_number) {
  if (state.failed) return;
  state.failed = true;
  const std::string line =
      std::string("velmorjob: cannot write output: ") + std::strerror(error_number) + "\n";
  WriteAll(2, ForStream(2, TPriority::kError, line));
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

// Adds a message to what is buffered for descriptor 1.
void Append(TPriority priority, std::string_view text) {
  if (state.journal_out) {
    ToJournal(priority, text, [](std::string_view piece) { state.out.append(piece); });
  } else {
    state.out.append(text);
  }
}

// Writes a message to descriptor fd.
void Put(int fd, TPriority priority, std::string_view text) {
  if (fd == 1) {
    Append(priority, text);
    if (state.out.size() >= kBufferLimit) FlushOut();
    return;
  }
  Write(fd, ForStream(fd, priority, text));
}

void Keep(int fd, TPriority priority, std::string_view text) {
  if (state.kept_bytes + text.size() > kKeptLimit) {
    state.dropped_bytes += text.size();
    return;
  }
  state.kept_bytes += text.size();
  if (!state.kept.empty() && state.kept.back().fd == fd && state.kept.back().priority == priority) {
    state.kept.back().text.append(text);
  } else {
    state.kept.push_back(TKept{fd, priority, std::string(text)});
  }
}

// The number that text is in decimal, when it is digits alone and fits.
std::optional<std::uint64_t> Decimal(std::string_view text) {
  if (text.empty()) return std::nullopt;
  std::uint64_t value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    const auto digit = static_cast<std::uint64_t>(c - '0');
    if (value > (std::numeric_limits<std::uint64_t>::max() - digit) / 10) return std::nullopt;
    value = value * 10 + digit;
  }
  return value;
}

bool IsFile(int fd, std::uint64_t device, std::uint64_t inode) {
  struct stat status = {};
  return fstat(fd, &status) == 0 && static_cast<std::uint64_t>(status.st_dev) == device &&
         static_cast<std::uint64_t>(status.st_ino) == inode;
}

}  // namespace

void ResetOutput() { state = TOutputState(); }

void FindJournalStream(const char* journal_stream) {
  state.journal_out = state.journal_err = false;
  state.journal_line = TJournalLine::kStart;
  if (journal_stream == nullptr) return;
  const std::string_view value(journal_stream);
  const std::size_t colon = value.find(':');
  if (colon == std::string_view::npos) return;
  const std::optional<std::uint64_t> device = Decimal(value.substr(0, colon));
  const std::optional<std::uint64_t> inode = Decimal(value.substr(colon + 1));
  if (!device || !inode) return;
  state.journal_out = IsFile(1, *device, *inode);
  state.journal_err = IsFile(2, *device, *inode);
}

void SetMessages(TMessages where) {
  state.messages = where;
  state.kept.clear();
  state.kept_bytes = state.dropped_bytes = 0;
}

void Say(TPriority priority, std::string_view text) {
  switch (state.messages) {
    case TMessages::kStandardOutput: Put(1, priority, text); break;
    case TMessages::kStandardError: Put(2, priority, text); break;
    case TMessages::kKept: Keep(1, priority, text); break;
    case TMessages::kDropped: break;
  }
}

void Say(TPriority priority, std::initializer_list<std::string_view> pieces) {
  if (state.messages == TMessages::kStandardOutput) {
    for (const std::string_view piece : pieces) Append(priority, piece);
    if (state.out.size() >= kBufferLimit) FlushOut();
    return;
  }
  std::string text;
  for (const std::string_view piece : pieces) text.append(piece);
  Say(priority, text);
}

void SayError(TPriority priority, std::string_view text) {
  switch (state.messages) {
    case TMessages::kKept: Keep(2, priority, text); break;
    case TMessages::kDropped: break;
    default: Put(2, priority, text);
  }
}

void Print(std::string_view text) {
  Write(1, text);
  Passed(1, text);
}

bool FlushOutput() { return FlushOut() && !state.failed; }

bool OutputFailed() { return state.failed; }

void NoteOutputError(int error_number) { Tell(error_number); }

void OthersWrote(int fd, std::string_view bytes) { Passed(fd, bytes); }

void OthersMayWrite() { state.journal_line = TJournalLine::kOthers; }

void SayLastWords(TPriority priority, std::string_view text) {
  WriteAll(1, state.out);
  state.out.clear();
  if (!state.journal_out) {
    WriteAll(1, text);
    return;
  }
  ToJournal(priority, text, [](std::string_view piece) { WriteAll(1, piece); });
}

void ReleaseKeptMessages(bool write) {
  std::vector<TKept> kept = std::move(state.kept);
  const std::size_t dropped = state.dropped_bytes;
  SetMessages(write ? TMessages::kStandardOutput : TMessages::kDropped);
  if (!write) return;
  for (const TKept& message : kept) Put(message.fd, message.priority, message.text);
  if (dropped > 0) {
    Put(1, TPriority::kWarning,
        "(" + std::to_string(dropped) + " more bytes of messages were not kept)\n");
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
