#include "core/run_events.h"

void TRunListeners::ConfigError(const TConfigMessage& message) {
  for (TRunEvents* listener : listeners_) listener->ConfigError(message);
}

void TRunListeners::JobRead(long steps) {
  for (TRunEvents* listener : listeners_) listener->JobRead(steps);
}

void TRunListeners::LockWaiting(const std::string& path) {
  for (TRunEvents* listener : listeners_) listener->LockWaiting(path);
}

void TRunListeners::LockHeld(const std::string& path) {
  for (TRunEvents* listener : listeners_) listener->LockHeld(path);
}

void TRunListeners::LockTaken(const std::string& path) {
  for (TRunEvents* listener : listeners_) listener->LockTaken(path);
}

void TRunListeners::Warning(const std::string& line) {
  for (TRunEvents* listener : listeners_) listener->Warning(line);
}

void TRunListeners::RunStarted(const TRunRecord& record) {
  for (TRunEvents* listener : listeners_) listener->RunStarted(record);
}

void TRunListeners::AttemptStarted(const TStepRecord& attempt, int attempts) {
  for (TRunEvents* listener : listeners_) listener->AttemptStarted(attempt, attempts);
}

void TRunListeners::AttemptEnded(const TStepRecord& attempt) {
  for (TRunEvents* listener : listeners_) listener->AttemptEnded(attempt);
}

void TRunListeners::RetryWaiting(const TStepRecord& failed, int attempts, double delay) {
  for (TRunEvents* listener : listeners_) listener->RetryWaiting(failed, attempts, delay);
}

void TRunListeners::DeadlinePassed() {
  for (TRunEvents* listener : listeners_) listener->DeadlinePassed();
}

void TRunListeners::StepCommand(const std::string& command) {
  for (TRunEvents* listener : listeners_) listener->StepCommand(command);
}

void TRunListeners::Stopped(int signal_number) {
  for (TRunEvents* listener : listeners_) listener->Stopped(signal_number);
}

void TRunListeners::FileNotWritten(const std::string& what, const std::string& path,
                                   const std::string& reason, bool refused) {
  for (TRunEvents* listener : listeners_) listener->FileNotWritten(what, path, reason, refused);
}

void TRunListeners::RunEnding(const TRunRecord& record) {
  for (TRunEvents* listener : listeners_) listener->RunEnding(record);
}

void TRunListeners::FilesWritten(const TRunRecord& record) {
  for (TRunEvents* listener : listeners_) listener->FilesWritten(record);
}

void TRunListeners::RunEnded(const TRunRecord& record) {
  for (TRunEvents* listener : listeners_) listener->RunEnded(record);
}
