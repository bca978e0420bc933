#include "core/exit_status.h"

#include <csignal>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "history/history_writer.h"

namespace {

// An outcome from the words of what happened: "config", "step", "output",
// "file", "locked", "usage", "deadline", "interrupt=N", "stop=N".
TOutcome Made(const std::string& what) {
  TOutcome result;
  std::istringstream words(what);
  for (std::string word; words >> word;) {
    if (word == "config") ++result.config_errors;
    if (word == "step") result.step_failed = true;
    if (word == "output") result.output_failed = true;
    if (word == "file") result.file_failed = true;
    if (word == "locked") result.locked = true;
    if (word == "usage") result.usage_error = true;
    if (word == "deadline") result.job_timed_out = true;
    if (word.rfind("interrupt=", 0) == 0) result.interrupt_signal = std::stoi(word.substr(10));
    if (word.rfind("stop=", 0) == 0) result.stop_signal = std::stoi(word.substr(5));
  }
  return result;
}

TEST(ExitStatusTest, TheMostSeriousThingThatHappenedWins) {
  const struct {
    const char* what;
    int status;
    const char* word;
  } cases[] = {
      {"", 0, "ok"},
      {"step", 3, "step-failed"},
      {"config", 2, "config-error"},
      {"output", 4, "output-error"},
      {"file", 4, "output-error"},
      {"usage", 1, "usage-error"},
      {"step deadline", 3, "timed-out"},
      {"output deadline", 3, "timed-out"},
      {"config step", 2, "config-error"},
      {"step output", 3, "step-failed"},
      {"step file", 3, "step-failed"},
      {"config output", 2, "config-error"},
      {"step locked", 75, "locked"},
      {"output locked", 75, "locked"},
      {"config locked", 2, "config-error"},
      {"deadline locked", 75, "locked"},
      {"step interrupt=2", 130, "stopped"},
      {"config step interrupt=3 output", 131, "stopped"},
      {"config stop=15", 143, "stopped"},
      {"interrupt=2 stop=1", 129, "stopped"},
      {"usage stop=15", 143, "stopped"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.status, ExitStatus(Made(c.what))) << c.what;
    EXPECT_STREQ(c.word, ResultWord(Made(c.what))) << c.what;
  }
}

// The words of the "result" enum and the result words tied to a status in
// the report's schema, read from its text.
struct TSchemaWords {
  std::set<std::string> in_enum;
  // Each word tied to a status, with the condition on the status: the text
  // of the exit_status property the schema's "then" asks for.
  std::map<std::string, std::string> tied;
};

std::string QuotedAfter(const std::string& text, std::size_t& at) {
  const std::size_t open = text.find('"', at);
  const std::size_t close = text.find('"', open + 1);
  at = close + 1;
  return text.substr(open + 1, close - open - 1);
}

TSchemaWords SchemaWords() {
  std::ifstream in(std::string(VELMORJOB_SOURCE_DIR) + "/schema/report.schema.json");
  std::stringstream buffer;
  buffer << in.rdbuf();
  const std::string text = buffer.str();
  TSchemaWords words;
  std::size_t at = text.find("\"enum\"", text.find("\"result\": {"));
  const std::size_t end = text.find(']', at);
  at = text.find('[', at);
  while (text.find('"', at) < end) words.in_enum.insert(QuotedAfter(text, at));
  const std::string tie = "\"result\": {\"const\": ";
  for (std::size_t found = text.find(tie); found != std::string::npos;
       found = text.find(tie, found + 1)) {
    std::size_t word = found + tie.size();
    const std::string name = QuotedAfter(text, word);
    const std::string status = "\"exit_status\": ";
    const std::size_t begin = text.find(status, word) + status.size();
    words.tied[name] = text.substr(begin, text.find('}', begin) + 1 - begin);
  }
  return words;
}

TEST(ExitStatusTest, ReportSchemaKnowsExactlyTheResultWordsOfTheTable) {
  std::set<std::string> words;
  std::map<std::string, std::string> tied;
  for (const TExitStatus* row = kExitStatuses; row->result != nullptr; ++row) {
    words.insert(row->result);
    tied[row->result] = row->code == kExitSignalBase
                            ? "{\"minimum\": 129, \"maximum\": 192}"
                            : "{\"const\": " + std::to_string(row->code) + "}";
  }
  // And the words of a run in the history that has not ended.
  words.insert(kRunningResult);
  words.insert(kAbandonedResult);
  const TSchemaWords schema = SchemaWords();
  EXPECT_EQ(words, schema.in_enum);
  EXPECT_EQ(tied, schema.tied);
}

TEST(ExitStatusTest, HelpListsEveryStatusInTheOrderOfItsCode) {
  const std::string help = ExitStatusHelp();
  EXPECT_EQ(0u, help.find("Exit status:\n  0      "));
  std::size_t last = 0;
  for (const char* code :
       {"\n  0 ", "\n  1 ", "\n  2 ", "\n  3 ", "\n  4 ", "\n  75 ", "\n  128+N "}) {
    const std::size_t at = help.find(code);
    ASSERT_NE(std::string::npos, at) << code;
    EXPECT_LT(last, at) << code;
    last = at;
  }
  std::istringstream lines(help);
  for (std::string line; std::getline(lines, line);) EXPECT_LT(line.size(), 80u) << line;
}

}  // namespace
