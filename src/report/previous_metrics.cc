#include "report/previous_metrics.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "report/text_escape.h"

namespace {

constexpr std::string_view kSuccessName = "velmorjob_last_success_timestamp_seconds";

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

// The value of a last-success sample of the job on this line, or none.
std::optional<double> SuccessOnLine(std::string_view line, const std::string& job) {
  TSampleParser parser(line);
  parser.SkipBlanks();
  if (parser.Name() != kSuccessName) return std::nullopt;
  parser.SkipBlanks();
  if (!parser.Take('{')) return std::nullopt;
  bool same_job = false;
  for (;;) {
    parser.SkipBlanks();
    if (parser.Take('}')) break;
    const std::string_view label = parser.Name();
    if (label.empty()) return std::nullopt;
    parser.SkipBlanks();
    if (!parser.Take('=')) return std::nullopt;
    parser.SkipBlanks();
    const std::optional<std::string> value = parser.QuotedValue();
    if (!value) return std::nullopt;
    if (label == "job_name") same_job = *value == job;
    parser.SkipBlanks();
    if (parser.Take('}')) break;
    if (!parser.Take(',')) return std::nullopt;
  }
  if (!same_job) return std::nullopt;
  parser.SkipBlanks();
  const std::string_view word = parser.Word();
  double value = 0;
  const auto result = std::from_chars(word.data(), word.data() + word.size(), value);
  if (word.empty() || result.ec != std::errc() || result.ptr != word.data() + word.size() ||
      !std::isfinite(value)) {
    return std::nullopt;
  }
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
  return value;
}

}  // namespace

std::string ReadPreviousMetrics(const std::string& path) {
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return "";
  std::string text;
  struct stat status {};
  if (fstat(fd, &status) == 0 && S_ISREG(status.st_mode)) {
    text.resize(kPreviousMetricsLimit);
    std::size_t filled = 0;
    while (filled < text.size()) {
      const ssize_t got = read(fd, text.data() + filled, text.size() - filled);
      if (got < 0 && errno == EINTR) continue;
      if (got < 0) {
        filled = 0;  // what was read may be any part of the file
        break;
      }
      if (got == 0) break;
      filled += static_cast<std::size_t>(got);
    }
    text.resize(filled);
  }
  close(fd);
  return text;
}

std::optional<double> LastSuccess(std::string_view text, std::string_view job) {
  const std::string wanted = ValidUtf8(job);
  std::optional<double> found;
  for (std::size_t end = text.find('\n'); end != std::string_view::npos; end = text.find('\n')) {
    const std::string_view line = text.substr(0, end);
    text.remove_prefix(end + 1);
    if (const std::optional<double> value = SuccessOnLine(line, wanted)) found = value;
  }
  return found;
}
