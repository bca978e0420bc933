// Runs the whole program over an arbitrary configuration file in the modes
// that run no step: --dry-run for a job named by the input, --check and
// --list. --check explains every error and warns as it always does, so its
// reasons and suggestions are fuzzed too. Any attempt to run a step aborts.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <unistd.h>

#include "app/entry.h"
#include "job/step_runner.h"
#include "memory_file.h"

namespace {

TStepResult NeverRun(const TProcessSetup&) { std::abort(); }

// A dry run tells its messages on standard error; they are sent to
// /dev/null while it runs, so that the fuzzer's own log stays readable.
class TQuietStandardError {
 public:
  TQuietStandardError() : saved_(dup(2)) {
    const int null_fd = open("/dev/null", O_WRONLY);
    if (saved_ < 0 || null_fd < 0 || dup2(null_fd, 2) != 2) std::abort();
    close(null_fd);
  }
  ~TQuietStandardError() {
    dup2(saved_, 2);
    close(saved_);
  }

 private:
  int saved_;
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  if (std::freopen("/dev/null", "w", stdout) == nullptr) std::abort();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static TMemoryFile file;
  // The first line of the input names the job; the rest is the file.
  std::size_t name_end = 0;
  while (name_end < size && name_end < 32 && data[name_end] != '\n') ++name_end;
  const std::string job(reinterpret_cast<const char*>(data), name_end);
  const std::size_t skip = name_end < size ? name_end + 1 : name_end;
  file.Set(data + skip, size - skip);

  const std::string config = "--config=" + file.path();
  const char* dry_run[] = {"velmorjob", "--dry-run", config.c_str(), job.c_str()};
  const char* check[] = {"velmorjob", config.c_str(), "--check", job.c_str()};
  const char* list[] = {"velmorjob", "--list", config.c_str()};
  for (int round = 0; round < 3; ++round) {
    int status = 0;
    switch (round) {
      case 0: {
        const TQuietStandardError quiet;
        status = Main(4, dry_run, NeverRun);
        break;
      }
      case 1: status = Main(4, check, NeverRun); break;
      default: status = Main(3, list, NeverRun); break;
    }
    if (status != 0 && status != 1 && status != 2) std::abort();
  }
  return 0;
}
