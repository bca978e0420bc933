#include "app/config_file.h"

#include <cstdio>
#include <cstring>

#include "core/outcome.h"
#include "core/read_state.h"

bool OpenConfig(const std::string& path) {
  if (fp.Open(path.c_str())) return true;
  std::printf("Config file [%s] not found.\n", path.c_str());
  ++outcome.config_errors;
  return false;
}

bool CloseConfig(const std::string& path) {
  const bool failed = fp.Error();
  const int error_number = fp.ErrorNumber();
  fp.Close();
  if (!failed) return true;
  std::printf("Config file [%s] could not be read: %s\n", path.c_str(),
              std::strerror(error_number));
  ++outcome.config_errors;
  return false;
}
