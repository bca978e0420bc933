#include "report/report_json.h"

#include <chrono>
#include <cstdint>
#include <string>

#include <gtest/gtest.h>

#include "status_word.h"

#include "wall_time.h"

namespace {

constexpr std::int64_t kStart = 1796869800123;  // 2026-12-10T02:30:00.123Z

TStepRecord Step(const char* kind, const char* program, const char* command, std::int64_t start,
                 double seconds) {
  TStepRecord step;
  step.kind = kind;
  step.program = program;
  step.command = command;
  step.start = At(start);
  step.seconds = seconds;
  return step;
}

TRunRecord Record(int exit_status) {
  TRunRecord record;
  record.job = "nightly";
  record.config = "/srv/search/search.conf";
  record.directory = "/srv/search";
  record.host = "idx1";
  record.start = At(kStart);
  record.end = At(kStart + 3723456);
  record.exit_status = exit_status;
  record.result = StatusWord(record.exit_status);
  record.ended = true;
  record.run_id = "1b4e28ba-2fa1-41d2-883f-0016d3cca427";
  return record;
}

TEST(ReportJsonTest, WritesTheWholeRunOneFieldToALine) {
  TRunRecord record = Record(3);
  record.steps.push_back(
      Step("Index", "./indexer", "./indexer  --maxfiles=500", kStart + 2, 3600.0004));
  record.steps.back().result = TStepResult::FromWaitStatus(0);
  record.steps.back().number = 1;
  record.steps.push_back(
      Step("Runner", "./runner", "./runner  --program=report", kStart + 3600010, 120.25));
  record.steps.back().result = TStepResult::FromWaitStatus(15, TStepResult::TStop::kTimeout);
  record.steps.back().number = 2;
  record.steps.back().attempt = 2;
  record.steps.back().output_tail = "last\n";
  record.steps.back().output_bytes = 12345;
  record.config_errors.push_back({std::nullopt, "Job \"weekly\" is not in the file", std::nullopt});
  record.config_errors.push_back(
      {12, "Error at line 12:\nMaxFile 5\n", "unknown key \"MaxFile\" for an Index step"});
  record.config_errors_not_kept = 7;
  EXPECT_EQ(R"({
  "job": "nightly",
  "run_id": "1b4e28ba-2fa1-41d2-883f-0016d3cca427",
  "config_file": "/srv/search/search.conf",
  "working_directory": "/srv/search",
  "host": "idx1",
  "start_time": "2026-12-10T02:30:00.123Z",
  "end_time": "2026-12-10T03:32:03.579Z",
  "duration_seconds": 3723.456,
  "exit_status": 3,
  "result": "step-failed",
  "from_step": 1,
  "first_failed_step": 2,
  "config_errors": [
    {
      "line": null,
      "message": "Job \"weekly\" is not in the file",
      "reason": null
    },
    {
      "line": 12,
      "message": "Error at line 12:\nMaxFile 5\n",
      "reason": "unknown key \"MaxFile\" for an Index step"
    }
  ],
  "config_errors_not_kept": 7,
  "steps": [
    {
      "number": 1,
      "attempt": 1,
      "kind": "Index",
      "program": "./indexer",
      "command": "./indexer  --maxfiles=500",
      "start_time": "2026-12-10T02:30:00.125Z",
      "duration_seconds": 3600.000,
      "exit_status": 0,
      "signal": null,
      "timed_out": false,
      "output_tail": null,
      "output_bytes": null
    },
    {
      "number": 2,
      "attempt": 2,
      "kind": "Runner",
      "program": "./runner",
      "command": "./runner  --program=report",
      "start_time": "2026-12-10T03:30:00.133Z",
      "duration_seconds": 120.250,
      "exit_status": null,
      "signal": 15,
      "timed_out": true,
      "output_tail": "last\n",
      "output_bytes": 12345
    }
  ]
}
)",
            ReportJson(record));
}

TEST(ReportJsonTest, ARunWithoutStepsOrErrorsHasEmptyLists) {
  const std::string text = ReportJson(Record(75));
  EXPECT_NE(std::string::npos, text.find("\n  \"config_errors\": [],\n")) << text;
  EXPECT_NE(std::string::npos, text.find("\n  \"steps\": []\n}\n")) << text;
  EXPECT_NE(std::string::npos, text.find("\n  \"result\": \"locked\",\n")) << text;
}

TEST(ReportJsonTest, AStepThatCouldNotStartHasNeitherStatusNorSignal) {
  TRunRecord record = Record(3);
  record.steps.push_back(Step("Index", "./indexer", "./indexer ", kStart, 0));
  const std::string text = ReportJson(record);
  EXPECT_NE(
      std::string::npos,
      text.find("\"exit_status\": null,\n      \"signal\": null,\n      \"timed_out\": false"))
      << text;
}

TEST(ReportJsonTest, EscapesEveryTextThatCameFromOutside) {
  TRunRecord record = Record(2);
  record.job = "a\"b\\c\nd\xFF";
  record.config = "/srv/x\ty.conf";
  record.directory = "/srv/\x01";
  record.host = "h\"";
  record.config_errors.push_back({3, "Error at line 3:\n[Job \xC3\x28]\n", "a\"b"});
  record.steps.push_back(Step("Index", "./indexer", "./indexer  --url='a\"b'", kStart, 1));
  record.steps.back().result = TStepResult::FromWaitStatus(0);
  const std::string text = ReportJson(record);
  for (const char* field :
       {"\"job\": \"a\\\"b\\\\c\\nd\xEF\xBF\xBD\",", "\"config_file\": \"/srv/x\\ty.conf\",",
        "\"working_directory\": \"/srv/\\u0001\",", "\"host\": \"h\\\"\",",
        "\"message\": \"Error at line 3:\\n[Job \xEF\xBF\xBD(]\\n\"",
        "\"command\": \"./indexer  --url='a\\\"b'\","}) {
    EXPECT_NE(std::string::npos, text.find(field)) << field << "\n" << text;
  }
}

TEST(ReportJsonTest, KeepsAtMostTheFirstThousandConfigurationErrorsAndCountsTheRest) {
  TRunRecord record = Record(2);
  for (long line = 1; line <= 1003; ++line) {
    record.config_errors.push_back(
        {line, "Error at line " + std::to_string(line) + ":\n", std::nullopt});
  }
  record.config_errors_not_kept = 10;
  const std::string text = ReportJson(record);
  EXPECT_NE(std::string::npos, text.find("\"line\": 1000,")) << text;
  EXPECT_EQ(std::string::npos, text.find("\"line\": 1001,"));
  EXPECT_NE(std::string::npos, text.find("\n  \"config_errors_not_kept\": 13,\n"));
}

TEST(ReportJsonTest, DurationIsTheDifferenceOfTheWrittenTimesAndNeverNegative) {
  TRunRecord record = Record(0);
  // 0.9996 s apart, but the written times differ by one millisecond.
  record.start = At(kStart) + std::chrono::microseconds(999);
  record.end = record.start + std::chrono::microseconds(2);
  EXPECT_NE(std::string::npos, ReportJson(record).find("\"duration_seconds\": 0.001,"));
  record.end = At(kStart - 5000);  // the clock was set back during the run
  const std::string text = ReportJson(record);
  EXPECT_NE(std::string::npos, text.find("\"end_time\": \"2026-12-10T02:29:55.123Z\",")) << text;
  EXPECT_NE(std::string::npos, text.find("\"duration_seconds\": 0.000,")) << text;
}

}  // namespace
