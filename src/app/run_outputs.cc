#include "app/run_outputs.h"

#include <filesystem>
#include <limits.h>
#include <unistd.h>

#include "core/run_record.h"

namespace {

std::string HostName() {
  char name[HOST_NAME_MAX + 1] = {};
  if (gethostname(name, sizeof name - 1) != 0) return "";
  return name;
}

std::string Absolute(const std::string& path) {
  std::error_code error;
  const std::filesystem::path absolute = std::filesystem::absolute(path, error);
  return error ? path : absolute.lexically_normal().string();
}

}  // namespace

void StartRunOutputs(const TCommandLine& command_line) {
  if (!command_line.report && !command_line.metrics) return;
  runrecord.emplace();
  runrecord->start = TWallClock::now();
  runrecord->job = command_line.job.value_or("");
  runrecord->config = Absolute(ConfigPath(command_line));
  runrecord->directory = Absolute(".");
  runrecord->host = HostName();
}

void FinishRunOutputs(const TCommandLine& /*command_line*/, int exit_status) {
  runrecord->end = TWallClock::now();
  runrecord->exit_status = exit_status;
}
