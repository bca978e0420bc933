#include "report/previous_metrics.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "report/metrics_text.h"
#include "report/text_escape.h"

namespace {

bool IsSpaceOrTab(char c) { return c == ' ' || c == '\t'; }

bool IsNameCharacter(char c, bool first) {
  if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == ':') return true;
  return !first && c >= '0' && c <= '9';
}

// Reads through one sample line of the text format, left to right.
class TSampleParser {
 public:
  explicit TSampleParser(std::string_view line) : rest_(line) {}

  void SkipBlanks() {
    while (!rest_.empty() && IsSpaceOrTab(rest_.front())) rest_.remove_prefix(1);
  }

  bool Take(char c) {
    if (rest_.empty() || rest_.front() != c) return false;
    rest_.remove_prefix(1);
    return true;
  }

  std::string_view Name() {
    std::size_t length = 0;
    while (length < rest_.size() && IsNameCharacter(rest_[length], length == 0)) ++length;
    const std::string_view name = rest_.substr(0, length);
    rest_.remove_prefix(length);
    return name;
  }

  // A quoted label value with its escapes undone; none when malformed.
  std::optional<std::string> QuotedValue() {
    if (!Take('"')) return std::nullopt;
    std::string value;
    while (!rest_.empty()) {
      const char c = rest_.front();
      rest_.remove_prefix(1);
      if (c == '"') return value;
      if (c != '\\') {
        value += c;
        continue;
      }
      if (rest_.empty()) return std::nullopt;
      const char escaped = rest_.front();
      rest_.remove_prefix(1);
      if (escaped == 'n') {
        value += '\n';
      } else if (escaped == '\\' || escaped == '"') {
        value += escaped;
      } else {
        return std::nullopt;
      }
    }
    return std::nullopt;
  }

  // The next word, up to a blank or the end of the line.
  std::string_view Word() {
    std::size_t length = 0;
    while (length < rest_.size() && !IsSpaceOrTab(rest_[length])) ++length;
    const std::string_view word = rest_.substr(0, length);
    rest_.remove_prefix(length);
    return word;
  }

  bool AtEnd() const { return rest_.empty(); }

 private:
  std::string_view rest_;
};

// A sample value of the text format: a decimal number, or NaN or an
// infinity; a leading "+" is allowed.
std::optional<double> SampleValue(std::string_view word) {
  if (word.size() > 1 && word[0] == '+' && word[1] != '-') word.remove_prefix(1);
  double value = 0;
  const auto result = std::from_chars(word.data(), word.data() + word.size(), value);
  if (word.empty() || result.ec != std::errc() || result.ptr != word.data() + word.size()) {
    return std::nullopt;
  }
  return value;
}

// One sample line, as far as the metrics of a run need it.
struct TSample {
  std::string_view name;
  std::optional<std::string> job;  // its job_name label, or else its job label
  double value = 0;
};

// The sample on this line, or none when the line is not a well-formed one.
std::optional<TSample> SampleOnLine(std::string_view line) {
  TSampleParser parser(line);
  TSample sample;
  parser.SkipBlanks();
  sample.name = parser.Name();
  if (sample.name.empty()) return std::nullopt;
  parser.SkipBlanks();
  std::optional<std::string> job_name;
  std::optional<std::string> job;
  if (parser.Take('{')) {
    for (;;) {
      parser.SkipBlanks();
      if (parser.Take('}')) break;
      const std::string_view label = parser.Name();
      if (label.empty()) return std::nullopt;
      parser.SkipBlanks();
      if (!parser.Take('=')) return std::nullopt;
      parser.SkipBlanks();
      std::optional<std::string> value = parser.QuotedValue();
      if (!value) return std::nullopt;
      if (label == "job_name") job_name = std::move(value);
      if (label == "job") job = std::move(value);
      parser.SkipBlanks();
      if (parser.Take('}')) break;
      if (!parser.Take(',')) return std::nullopt;
    }
    parser.SkipBlanks();
  }
  const std::optional<double> value = SampleValue(parser.Word());
  if (!value) return std::nullopt;
  sample.value = *value;
  // An optional timestamp may follow; nothing else may.
  parser.SkipBlanks();
  if (!parser.AtEnd()) {
    const std::string_view timestamp = parser.Word();
    long long milliseconds = 0;
    const auto stamp =
        std::from_chars(timestamp.data(), timestamp.data() + timestamp.size(), milliseconds);
    if (stamp.ec != std::errc() || stamp.ptr != timestamp.data() + timestamp.size()) {
      return std::nullopt;
    }
    parser.SkipBlanks();
    if (!parser.AtEnd()) return std::nullopt;
  }
  sample.job = job_name ? std::move(job_name) : std::move(job);
  return sample;
}

std::string CannotBeRead(int error) {
  return std::string("cannot be read (") + std::strerror(error) + ")";
}

// Reads the open regular file whole, unless it is larger than the limit.
bool ReadWhole(int fd, std::string& text, std::string& reason) {
  char block[64 * 1024];
  for (;;) {
    const ssize_t got = read(fd, block, sizeof block);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      reason = CannotBeRead(errno);
      return false;
    }
    if (got == 0) return true;
    if (static_cast<std::size_t>(got) > kPreviousMetricsLimit - text.size()) {
      reason = "is larger than " + std::to_string(kPreviousMetricsLimit / (1024 * 1024)) + " MiB";
      return false;
    }
    text.append(block, static_cast<std::size_t>(got));
  }
}

}  // namespace

bool ReadPreviousMetrics(const std::string& path, std::string& text, std::string& reason) {
  text.clear();
  struct stat status {};
  if (stat(path.c_str(), &status) != 0) {
    if (errno == ENOENT || errno == ENOTDIR) return true;
    reason = CannotBeRead(errno);
    return false;
  }
  if (S_ISDIR(status.st_mode)) {
    reason = CannotBeRead(EISDIR);
    return false;
  }
  if (!S_ISREG(status.st_mode)) return true;
  // Not blocking even if something else was put at path meanwhile.
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) {
    if (errno == ENOENT) return true;
    reason = CannotBeRead(errno);
    return false;
  }
  text.reserve(
      std::min<std::size_t>(static_cast<std::size_t>(status.st_size), kPreviousMetricsLimit));
  const bool read = ReadWhole(fd, text, reason);
  close(fd);
  if (!read) text.clear();
  return read;
}

bool ReadPreviousMetrics(const TFileTarget& target, std::string& text, std::string& reason) {
  text.clear();
  const TResolvedPath& at = target.at;
  if (at.unreachable != 0 && at.unreachable != ENOENT && at.unreachable != ENOTDIR) {
    reason = CannotBeRead(at.unreachable);
    return false;
  }
  if (!at.exists || !target.failure.empty() || !S_ISREG(at.status.st_mode)) return true;
  const int fd = at.Open(O_RDONLY | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) {
    if (errno == ENOENT) return true;
    reason = CannotBeRead(errno);
    return false;
  }
  text.reserve(
      std::min<std::size_t>(static_cast<std::size_t>(at.status.st_size), kPreviousMetricsLimit));
  const bool read = ReadWhole(fd, text, reason);
  close(fd);
  if (!read) text.clear();
  return read;
}

TPreviousSamples PreviousSamples(std::string_view text, std::string_view job) {
  const std::string wanted = ValidUtf8(job);
  TPreviousSamples found;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    std::optional<TSample> sample = SampleOnLine(line);
    if (!sample || !sample->job) continue;
    if (*sample->job != wanted) {
      if (!found.other_job) found.other_job = std::move(sample->job);
      continue;
    }
    found.of_this_job = true;
    if (sample->name == kLastSuccessGauge && std::isfinite(sample->value) && sample->value >= 0) {
      found.last_success = sample->value;
    }
  }
  return found;
}
