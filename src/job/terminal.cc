#include "job/terminal.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

TForegroundTerminal::TForegroundTerminal() {
  const int fd = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return;
  if (tcgetpgrp(fd) != getpgrp()) {
    close(fd);
    return;
  }
  fd_ = fd;
}

TForegroundTerminal::~TForegroundTerminal() {
  if (fd_ >= 0) close(fd_);
}

void TForegroundTerminal::GiveTo(pid_t group) const {
  if (fd_ >= 0) tcsetpgrp(fd_, group);
}

void TForegroundTerminal::TakeBack() const {
  if (fd_ >= 0) tcsetpgrp(fd_, getpgrp());
}

bool TForegroundTerminal::OwnIsForeground() const {
  return fd_ >= 0 && tcgetpgrp(fd_) == getpgrp();
}
