#include "app/config_file.h"

#include <cstring>

#include "core/read_state.h"
#include "core/stop_signal.h"

bool OpenConfig(const std::string& path, TRunContext& run) {
  if (fp.Open(path.c_str())) return true;
  // A stop signal came while the open waited (on a named pipe, say).
  if (StopSignal() != 0) return false;
  run.ConfigError("Config file [" + path + "] not found.\n");
  return false;
}

void ReportJobNotFound(const std::string& job, TRunContext& run) {
  run.ConfigError("Job \"" + job + "\" not found in your config file.\n");
}

bool CloseConfig(const std::string& path, TRunContext& run) {
  const bool failed = fp.Error();
  const int error_number = fp.ErrorNumber();
  fp.Close();
  if (!failed) return true;
  run.ConfigError("Config file [" + path + "] could not be read: " + std::strerror(error_number) +
                  "\n");
  return false;
}
