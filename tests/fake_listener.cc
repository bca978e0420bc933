#include "fake_listener.h"

#include <sstream>

namespace {

std::string Attempt(const TStepRecord& attempt) {
  return std::to_string(attempt.number) + "." + std::to_string(attempt.attempt);
}

}  // namespace

void TFakeListener::ConfigError(const TConfigMessage& message) {
  events.push_back("config " + (message.line ? std::to_string(*message.line) : "-") + " " +
                   message.text);
}

void TFakeListener::JobRead(long steps) { events.push_back("read " + std::to_string(steps)); }

void TFakeListener::LockWaiting(const std::string& path) { events.push_back("waiting " + path); }

void TFakeListener::LockHeld(const std::string& path) { events.push_back("held " + path); }

void TFakeListener::LockTaken(const std::string& path) { events.push_back("locked " + path); }

void TFakeListener::Warning(const std::string& line) { events.push_back("warning " + line); }

void TFakeListener::RunStarted(const TRunRecord& record) {
  events.push_back("run started " + record.job);
}

void TFakeListener::AttemptStarted(const TStepRecord& attempt, int attempts) {
  events.push_back("start " + Attempt(attempt) + " " + attempt.command + " " +
                   std::to_string(attempts));
  started.push_back(attempt);
}

void TFakeListener::AttemptEnded(const TStepRecord& attempt) {
  events.push_back("end " + Attempt(attempt) + " " + attempt.result.Cause());
  ended.push_back(attempt);
}

void TFakeListener::RetryWaiting(const TStepRecord& failed, int attempts, double delay) {
  std::ostringstream text;
  text << "retry " << Attempt(failed) << " of " << attempts << " in " << delay;
  events.push_back(text.str());
}

void TFakeListener::DeadlinePassed() { events.push_back("deadline"); }

void TFakeListener::StepCommand(const std::string& command) {
  events.push_back("command " + command);
}

void TFakeListener::Stopped(int signal_number) {
  events.push_back("stopped " + std::to_string(signal_number));
}

void TFakeListener::FileNotWritten(const std::string& what, const std::string& path,
                                   const std::string& reason, bool refused) {
  events.push_back((refused ? "refused " : "not written ") + what + " " + path + ": " + reason);
}

void TFakeListener::RunEnding(const TRunRecord& record) {
  events.push_back("ending " + std::to_string(record.exit_status));
}

void TFakeListener::FilesWritten(const TRunRecord& record) {
  events.push_back("files written " + std::to_string(record.exit_status));
}

void TFakeListener::RunEnded(const TRunRecord& record) {
  events.push_back("ended " + std::to_string(record.exit_status));
}
