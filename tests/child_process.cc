#include "child_process.h"

#include <sys/wait.h>
#include <unistd.h>

std::string InChild(const std::string& directory, void (*prepare)(),
                    const std::function<std::string()>& act) {
  int channel[2];
  if (pipe(channel) != 0) return "";
  const pid_t child = fork();
  if (child == 0) {
    close(channel[0]);
    if (chdir(directory.c_str()) != 0) _exit(1);
    prepare();
    const std::string result = act();
    const ssize_t ignored = write(channel[1], result.data(), result.size());
    static_cast<void>(ignored);
    _exit(0);
  }
  close(channel[1]);
  std::string result;
  char buffer[512];
  for (ssize_t got; (got = read(channel[0], buffer, sizeof buffer)) > 0;) {
    result.append(buffer, static_cast<std::size_t>(got));
  }
  close(channel[0]);
  int status = 0;
  if (child > 0) waitpid(child, &status, 0);
  return result;
}
