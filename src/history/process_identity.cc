#include "history/process_identity.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <limits.h>
#include <unistd.h>

#include "core/descriptor.h"

namespace {

// A small file of /proc, whole, or "" when it cannot be read.
std::string ReadSmallFile(const std::string& path) {
  const TDescriptor file(open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!file.valid()) return "";
  std::string text;
  char buffer[1024];
  for (;;) {
    const ssize_t got = read(file.get(), buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0 || text.size() > 64 * 1024) break;
    text.append(buffer, static_cast<std::size_t>(got));
  }
  return text;
}

std::string BootId() {
  std::string id = ReadSmallFile("/proc/sys/kernel/random/boot_id");
  while (!id.empty() && (id.back() == '\n' || id.back() == ' ')) id.pop_back();
  return id;
}

std::int64_t StartOf(pid_t pid) {
  return StartFromStat(ReadSmallFile("/proc/" + std::to_string(pid) + "/stat"));
}

}  // namespace

std::int64_t StartFromStat(const std::string& stat) {
  // The command's name, in parentheses, may hold spaces and parentheses
  // itself: the fields are counted from the last ')'.
  const std::size_t close = stat.rfind(')');
  if (close == std::string::npos) return 0;
  std::size_t at = close + 1;
  // The fields after the name are the 3rd, 4th, ...: the start is the 22nd.
  for (int field = 3; field < 22; ++field) {
    at = stat.find(' ', at + 1);
    if (at == std::string::npos) return 0;
  }
  const char* begin = stat.c_str() + at + 1;
  char* end = nullptr;
  errno = 0;
  const long long start = std::strtoll(begin, &end, 10);
  if (end == begin || errno != 0 || start < 0 || (*end != ' ' && *end != '\0')) return 0;
  return start;
}

std::string OwnHostName() {
  char name[HOST_NAME_MAX + 1] = {};
  if (gethostname(name, sizeof name - 1) != 0) return "";
  return name;
}

TProcessIdentity OwnProcess() {
  TProcessIdentity own;
  own.pid = getpid();
  own.boot_id = BootId();
  own.start = StartOf(own.pid);
  return own;
}

bool StillRuns(const TProcessIdentity& recorded) {
  if (recorded.pid <= 0) return false;
  const std::string boot = BootId();
  if (!boot.empty() && !recorded.boot_id.empty() && boot != recorded.boot_id) return false;
  const std::int64_t start = StartOf(recorded.pid);
  if (start != 0 && recorded.start != 0) return start == recorded.start;
  if (start == 0 && !boot.empty()) return false;  // /proc works, and has no such process
  return kill(recorded.pid, 0) == 0 || errno == EPERM;
}
