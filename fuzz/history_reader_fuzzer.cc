// Reads an arbitrary history as --runs and --status do, and holds what they
// print to its form: whatever the rows of the file hold (values of any type,
// of any bytes, runs without attempts and attempts without a run, duplicate
// ids, words that are no result), the text is valid UTF-8 without a control
// character, --runs --json prints one JSON object a run and --status --json
// one a job, each on a line of its own, --status prints a line a job that
// has runs, and the rows of the chart keep to its width.
//
// The input builds an in-memory database: its first bytes say whether the
// tables are exactly the schema's or as a hand-edited file may have them
// (without constraints, with or without the types of the columns), the
// number of runs to show, the chart's width, the time it is now and one job
// name; the rest are rows, each a byte for its table and then, for each
// column, a value (see Bind).

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <map>
#include <memory>
#include <set>
#include <sqlite3.h>
#include <string>
#include <string_view>
#include <vector>

#include "app/bar_chart.h"
#include "app/local_time.h"
#include "app/runs_view.h"
#include "app/status_view.h"
#include "core/duration_text.h"
#include "history/history_file.h"
#include "history/history_reader.h"
#include "history/sqlite.h"
#include "report/text_escape.h"

namespace {

// 2027-01-15: the time typical values of the rows are near.
constexpr std::int64_t kBaseMilliseconds = 1'800'000'000'000;
// The host the reader runs on: a run of it recorded as running whose
// process is gone reads as abandoned.
constexpr char kHere[] = "here";
// bar_chart.cc: the bar is never narrower than this.
constexpr std::size_t kMinBar = 10;

// The bytes of the input, read from the front; zeros past its end.
class TInput {
 public:
  TInput(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  bool Empty() const { return at_ >= size_; }
  std::uint8_t Byte() { return at_ < size_ ? data_[at_++] : 0; }
  std::uint64_t Bytes(int count) {
    std::uint64_t value = 0;
    for (int i = 0; i < count; ++i) value |= std::uint64_t{Byte()} << (8 * i);
    return value;
  }
  std::string Text(std::size_t length) {
    std::string text;
    for (std::size_t i = 0; i < length && !Empty(); ++i) text += static_cast<char>(Byte());
    return text;
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t at_ = 0;
};

// What a column holds in a history that velmorjob wrote, for the typical
// values of the rows.
enum class TKind { kId, kText, kName, kHost, kPid, kStep, kCount, kSeconds, kTime, kWord, kStop };

struct TColumn {
  const char* name;
  const char* type;
  TKind kind;
};

struct TTable {
  const char* name;
  std::vector<TColumn> columns;
};

// The tables of the schema (history_file.cc), column by column.
const std::vector<TTable>& Tables() {
  static const std::vector<TTable> tables = {
      {"velmorjob_runs",
       {{"id", "INTEGER", TKind::kId},
        {"run_id", "TEXT", TKind::kText},
        {"job", "TEXT", TKind::kName},
        {"config_file", "TEXT", TKind::kText},
        {"working_directory", "TEXT", TKind::kText},
        {"host", "TEXT", TKind::kHost},
        {"pid", "INTEGER", TKind::kPid},
        {"boot_id", "TEXT", TKind::kText},
        {"process_start", "INTEGER", TKind::kCount},
        {"from_step", "INTEGER", TKind::kStep},
        {"steps", "INTEGER", TKind::kStep},
        {"timeout", "REAL", TKind::kSeconds},
        {"job_timeout", "REAL", TKind::kSeconds},
        {"retries", "INTEGER", TKind::kCount},
        {"retry_delay", "REAL", TKind::kSeconds},
        {"retry_on", "TEXT", TKind::kText},
        {"start_time", "INTEGER", TKind::kTime},
        {"end_time", "INTEGER", TKind::kTime},
        {"exit_status", "INTEGER", TKind::kCount},
        {"result", "TEXT", TKind::kWord},
        {"first_failed_step", "INTEGER", TKind::kStep},
        {"config_errors_not_kept", "INTEGER", TKind::kCount}}},
      {"velmorjob_attempts",
       {{"run", "INTEGER", TKind::kId},
        {"number", "INTEGER", TKind::kStep},
        {"attempt", "INTEGER", TKind::kStep},
        {"kind", "TEXT", TKind::kWord},
        {"program", "TEXT", TKind::kText},
        {"command", "TEXT", TKind::kText},
        {"start_time", "INTEGER", TKind::kTime},
        {"duration", "REAL", TKind::kSeconds},
        {"exit_status", "INTEGER", TKind::kCount},
        {"signal", "INTEGER", TKind::kCount},
        {"timed_out", "INTEGER", TKind::kCount},
        {"stopped", "TEXT", TKind::kStop},
        {"output_tail", "BLOB", TKind::kText},
        {"output_bytes", "INTEGER", TKind::kCount}}},
      {"velmorjob_config_errors",
       {{"run", "INTEGER", TKind::kId},
        {"position", "INTEGER", TKind::kCount},
        {"line", "INTEGER", TKind::kCount},
        {"message", "TEXT", TKind::kText},
        {"reason", "TEXT", TKind::kText}}},
  };
  return tables;
}

// Job names: some of them alike, so that a job has several runs.
const char* const kNames[] = {
    "a", "b", "nightly", "", "a\nb\x1b[2J", "caf\xC3\xA9\xE2\x80\x8B", "\xFF\xC0\x80", "\xC2\x85x"};
const char* const kHosts[] = {kHere, "there", ""};
// Results and step kinds, and words that are neither.
const char* const kWords[] = {"ok",      "step-failed", "timed-out", "running", "abandoned",
                              "locked",  "Index",       "Runner",    "",        "OK",
                              "\x1b[1m", "ok\n",        "\x7F",      "\xC2\x9B"};
const char* const kStops[] = {"timeout", "deadline", "stop-signal", "", "none"};

const std::int64_t kIntegers[] = {0,
                                  1,
                                  -1,
                                  std::numeric_limits<std::int64_t>::min(),
                                  std::numeric_limits<std::int64_t>::max(),
                                  std::numeric_limits<std::int32_t>::min(),
                                  std::numeric_limits<std::int32_t>::max(),
                                  std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1,
                                  9'000'000'000'000,
                                  -9'000'000'000'000,
                                  253'402'300'800'000,
                                  -62'167'219'200'001,
                                  9'223'372'036'854,
                                  kBaseMilliseconds};
const double kReals[] = {std::numeric_limits<double>::quiet_NaN(),
                         std::numeric_limits<double>::infinity(),
                         -std::numeric_limits<double>::infinity(),
                         -0.0,
                         -1.5,
                         0.0005,
                         1e-300,
                         std::numeric_limits<double>::max(),
                         -std::numeric_limits<double>::max(),
                         1e15,
                         9.3e18,
                         -9.3e18,
                         59.9995,
                         86399.5};

template <typename T, std::size_t size>
const T& Pick(const T (&values)[size], std::uint8_t byte) {
  return values[byte % size];
}

struct TStatementFinalizer {
  void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};
using TStatementHold = std::unique_ptr<sqlite3_stmt, TStatementFinalizer>;

void BindText(sqlite3_stmt* statement, int index, const std::string& text) {
  sqlite3_bind_text64(statement, index, text.data(), text.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
}

// Binds the next value of the input to parameter index. A first byte below
// 0x80 gives a value typical of the column, from that byte; from 0x80 on,
// a value of any type whatever the column: null, an integer (a byte, eight
// bytes, or an extreme), a real (eight bytes, or an extreme: NaN is stored
// as null), a text or a blob of the bytes that follow, a long text, a name
// or a word.
void Bind(TInput& input, sqlite3_stmt* statement, int index, TKind kind) {
  const std::uint8_t tag = input.Byte();
  if (tag < 0x80) {
    switch (kind) {
      case TKind::kId: sqlite3_bind_int64(statement, index, tag % 8); return;
      case TKind::kText: BindText(statement, index, input.Text(tag % 16)); return;
      case TKind::kName: BindText(statement, index, Pick(kNames, tag)); return;
      case TKind::kHost: BindText(statement, index, Pick(kHosts, tag)); return;
      case TKind::kPid: sqlite3_bind_int64(statement, index, tag); return;
      case TKind::kStep: sqlite3_bind_int64(statement, index, tag % 8); return;
      case TKind::kCount: sqlite3_bind_int64(statement, index, tag % 4); return;
      case TKind::kSeconds: sqlite3_bind_double(statement, index, tag * 0.25); return;
      case TKind::kTime:
        sqlite3_bind_int64(statement, index, kBaseMilliseconds + tag * std::int64_t{60'000});
        return;
      case TKind::kWord: BindText(statement, index, Pick(kWords, tag)); return;
      case TKind::kStop: BindText(statement, index, Pick(kStops, tag)); return;
    }
  }
  switch (tag % 12) {
    case 0: sqlite3_bind_null(statement, index); return;
    case 1: sqlite3_bind_int64(statement, index, static_cast<std::int8_t>(input.Byte())); return;
    case 2: sqlite3_bind_int64(statement, index, static_cast<std::int64_t>(input.Bytes(8))); return;
    case 3: sqlite3_bind_int64(statement, index, Pick(kIntegers, input.Byte())); return;
    case 4: {
      const std::uint64_t bits = input.Bytes(8);
      double real = 0;
      std::memcpy(&real, &bits, sizeof real);
      sqlite3_bind_double(statement, index, real);
      return;
    }
    case 5: sqlite3_bind_double(statement, index, Pick(kReals, input.Byte())); return;
    case 6: BindText(statement, index, input.Text(input.Byte())); return;
    case 7: {
      const std::string bytes = input.Text(input.Byte());
      sqlite3_bind_blob64(statement, index, bytes.data(), bytes.size(), SQLITE_TRANSIENT);
      return;
    }
    case 8: {
      // Up to 8 KiB of a pattern of up to 8 bytes: longer than any buffer
      // of the views, and short enough that a run of the target stays fast.
      const std::size_t length = input.Bytes(2) % 8192;
      const std::string pattern = input.Text(input.Byte() % 8 + 1);
      std::string text;
      while (!pattern.empty() && text.size() < length) text += pattern;
      BindText(statement, index, text);
      return;
    }
    case 9: BindText(statement, index, Pick(kNames, input.Byte())); return;
    case 10: BindText(statement, index, Pick(kWords, input.Byte())); return;
    default: sqlite3_bind_zeroblob(statement, index, input.Byte() % 4); return;
  }
}

// The tables of the history, without constraints: with the columns' types
// or with none.
std::string LooseSchema(bool typed, bool indexed) {
  std::string sql;
  for (const TTable& table : Tables()) {
    sql += std::string("CREATE TABLE ") + table.name + " (";
    for (std::size_t i = 0; i < table.columns.size(); ++i) {
      sql += std::string(i == 0 ? "" : ", ") + table.columns[i].name;
      if (typed) sql += std::string(" ") + table.columns[i].type;
    }
    sql += ");";
  }
  if (indexed) sql += "CREATE INDEX velmorjob_runs_by_job ON velmorjob_runs (job, start_time);";
  return sql;
}

// The statement that inserts a row of the table, every column given.
TStatementHold Insert(TDatabase& db, const TTable& table) {
  std::string names;
  std::string values;
  for (std::size_t i = 0; i < table.columns.size(); ++i) {
    names += std::string(i == 0 ? "" : ", ") + table.columns[i].name;
    values += i == 0 ? "?" : ", ?";
  }
  const std::string sql =
      std::string("INSERT INTO ") + table.name + " (" + names + ") VALUES (" + values + ")";
  sqlite3_stmt* statement = nullptr;
  if (sqlite3_prepare_v2(db.Handle(), sql.c_str(), -1, &statement, nullptr) != SQLITE_OK) {
    std::abort();
  }
  return TStatementHold(statement);
}

// An empty history of one shape: the schema's tables (exact), or the
// tables without constraints, with or without the columns' types and the
// index by job. Each shape's database is kept from one input to the next,
// emptied, so that a run of the target spends its time on the reading rather
// than on SQLite's start and the parsing of the schema.
struct THistory {
  TDatabase db;
  std::vector<TStatementHold> inserts;  // by table
};

THistory& EmptyHistory(std::uint8_t shape) {
  const bool exact = (shape & 1) != 0;
  static THistory histories[5];
  THistory& history = histories[exact ? 4 : (shape >> 1) & 3];
  if (history.db.IsOpen()) {
    for (const TTable& table : Tables()) {
      const std::string empty = std::string("DELETE FROM ") + table.name;
      if (!history.db.Execute(empty.c_str())) std::abort();
    }
    return history;
  }
  TDatabase& db = history.db;
  if (!db.Open(":memory:", SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, 0)) std::abort();
  const std::string schema =
      exact ? kHistoryMigrations[0].sql
            : "PRAGMA application_id = " + std::to_string(kHistoryApplicationId) + ";" +
                  LooseSchema((shape & 2) != 0, (shape & 4) != 0);
  const std::string version = "PRAGMA user_version = " + std::to_string(kHistoryVersion);
  if (!db.Execute(schema.c_str()) || !db.Execute(version.c_str())) std::abort();
  for (const TTable& table : Tables()) history.inserts.push_back(Insert(db, table));
  return history;
}

// The history the input describes, rows and all.
TDatabase& Build(TInput& input, std::uint8_t shape) {
  THistory& history = EmptyHistory(shape);
  while (!input.Empty()) {
    const std::size_t which = input.Byte() % history.inserts.size();
    sqlite3_stmt* statement = history.inserts[which].get();
    const std::vector<TColumn>& columns = Tables()[which].columns;
    for (std::size_t i = 0; i < columns.size(); ++i) {
      Bind(input, statement, static_cast<int>(i + 1), columns[i].kind);
    }
    // A row the schema's constraints refuse is not there.
    sqlite3_step(statement);
    sqlite3_reset(statement);
    sqlite3_clear_bindings(statement);
  }
  return history.db;
}

// The time it is now: near the rows', or any the clock can hold.
TWallClock::time_point Now(TInput& input) {
  const std::uint8_t mode = input.Byte();
  std::int64_t nanoseconds = 0;
  if (mode < 0x80) {
    const std::int64_t minutes = static_cast<std::int16_t>(input.Bytes(2));
    nanoseconds = (kBaseMilliseconds + minutes * 60'000) * 1'000'000;
  } else if (mode < 0xC0) {
    nanoseconds = static_cast<std::int64_t>(input.Bytes(8));
  } else {
    const std::int64_t extremes[] = {std::numeric_limits<std::int64_t>::min(),
                                     std::numeric_limits<std::int64_t>::max(),
                                     0,
                                     -1,
                                     9'000'000'000'000'000'000,
                                     -9'000'000'000'000'000'000};
    nanoseconds = Pick(extremes, mode);
  }
  return TWallClock::time_point(TWallClock::duration(nanoseconds));
}

// A strict reader of JSON's syntax (RFC 8259): whether text is one value
// with nothing after it but the line's end.
class TJsonChecker {
 public:
  explicit TJsonChecker(std::string_view text) : text_(text) {}
  bool Object() { return Peek() == '{' && Value(0) && (Space(), at_ == text_.size()); }

 private:
  char Peek() const { return at_ < text_.size() ? text_[at_] : '\0'; }
  bool Take(char c) { return Peek() == c && (++at_, true); }
  void Space() {
    while (Peek() == ' ' || Peek() == '\t' || Peek() == '\n' || Peek() == '\r') ++at_;
  }
  bool Literal(std::string_view word) {
    if (text_.substr(at_, word.size()) != word) return false;
    at_ += word.size();
    return true;
  }
  bool Digits() {
    const std::size_t from = at_;
    while (Peek() >= '0' && Peek() <= '9') ++at_;
    return at_ > from;
  }
  bool Number() {
    Take('-');
    if (!Take('0') && (Peek() < '1' || Peek() > '9' || !Digits())) return false;
    if (Take('.') && !Digits()) return false;
    if (Take('e') || Take('E')) {
      if (!Take('+')) Take('-');
      if (!Digits()) return false;
    }
    return true;
  }
  bool String() {
    if (!Take('"')) return false;
    for (;;) {
      if (at_ >= text_.size()) return false;
      const auto byte = static_cast<unsigned char>(text_[at_++]);
      if (byte == '"') return true;
      if (byte < 0x20) return false;
      if (byte != '\\') continue;
      const char escape = Peek();
      ++at_;
      if (escape == 'u') {
        for (int i = 0; i < 4; ++i, ++at_) {
          if (!std::isxdigit(static_cast<unsigned char>(Peek()))) return false;
        }
      } else if (std::strchr("\"\\/bfnrt", escape) == nullptr || escape == '\0') {
        return false;
      }
    }
  }
  // Members (of an object when keyed) up to the closing bracket.
  bool Members(char close, bool keyed, int depth) {
    Space();
    if (Take(close)) return true;
    do {
      Space();
      if (keyed && (!String() || (Space(), !Take(':')))) return false;
      if (!Value(depth + 1)) return false;
      Space();
    } while (Take(','));
    return Take(close);
  }
  bool Value(int depth) {
    Space();
    if (depth > 64) return false;
    if (Take('{')) return Members('}', true, depth);
    if (Take('[')) return Members(']', false, depth);
    if (Peek() == '"') return String();
    if (Peek() == '-' || (Peek() >= '0' && Peek() <= '9')) return Number();
    return Literal("true") || Literal("false") || Literal("null");
  }

  std::string_view text_;
  std::size_t at_ = 0;
};

// The lines of text, each without its line feed; the text must end with
// one (or be empty).
std::vector<std::string_view> Lines(std::string_view text) {
  if (!text.empty() && text.back() != '\n') std::abort();
  std::vector<std::string_view> lines;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    lines.push_back(text.substr(0, end));
    text.remove_prefix(end + 1);
  }
  return lines;
}

// Text for the terminal: valid UTF-8 without a control character but the
// line feed, C1 controls (U+0080 to U+009F) included.
void CheckTerminalText(const std::string& text) {
  if (ValidUtf8(text) != text) std::abort();
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if ((byte < 0x20 && byte != '\n') || byte == 0x7F) std::abort();
    if (byte == 0xC2 && static_cast<unsigned char>(text[i + 1]) < 0xA0) std::abort();
  }
}

// JSON lines: as many as expected, each one object.
void CheckJsonLines(const std::string& text, std::size_t expected) {
  if (ValidUtf8(text) != text) std::abort();
  const std::vector<std::string_view> lines = Lines(text);
  if (lines.size() != expected) std::abort();
  for (const std::string_view line : lines) {
    if (!TJsonChecker(line).Object()) std::abort();
  }
}

// How many runs of the job the history holds.
std::int64_t RunsOf(TDatabase& db, const std::string& job) {
  TStatement count(db, "SELECT count(*) FROM velmorjob_runs WHERE job = ?");
  count.Bind(1, std::string_view(job));
  if (!count.Next()) std::abort();
  return count.Integer(0).value_or(-1);
}

// The chart at the end of RunsText: a row a run, no wider than the width
// unless the labels and the texts after the bars leave the bar less than its
// minimum, and then a legend whose lines keep to the width unless one entry
// alone is wider.
void CheckChart(const std::string& text, const std::vector<TRecordedRun>& runs,
                const TChartStyle& style) {
  std::size_t label_width = 0;
  std::size_t after_width = 0;
  std::map<int, std::string> names;
  for (const TRecordedRun& run : runs) {
    const TRunRecord& record = run.record;
    label_width = std::max(label_width, DisplayWidth(LocalMinute(record.start)));
    // After the bar: how long an ended run took (as runs_view.cc works it
    // out), or the word of one that did not end.
    const std::chrono::duration<double> took =
        std::chrono::duration<double>(record.end.time_since_epoch()) -
        std::chrono::duration<double>(record.start.time_since_epoch());
    after_width = std::max(after_width, DisplayWidth(record.ended ? DurationWords(took.count())
                                                                  : TerminalText(record.result)));
    for (const TStepRecord& attempt : record.steps) {
      names.emplace(attempt.number,
                    std::to_string(attempt.number) + " " + TerminalText(attempt.program));
    }
  }
  std::set<std::string> entries;
  for (const auto& [step, name] : names) {
    const char* const shades[] = {"#", "=", ":", "."};
    const char* const blocks[] = {"\u2588", "\u2593", "\u2592", "\u2591"};
    const std::size_t shade = static_cast<std::size_t>(step > 0 ? step - 1 : 0) % 4;
    entries.insert(std::string(style.unicode ? blocks[shade] : shades[shade]) + " " + name);
  }
  const std::size_t widest = std::max(style.width, label_width + 2 + kMinBar + 2 + after_width);

  // The chart follows the last blank line.
  const std::size_t blank = text.rfind("\n\n");
  if (blank == std::string::npos) std::abort();
  const std::vector<std::string_view> lines = Lines(std::string_view(text).substr(blank + 2));
  if (lines.size() < runs.size() || lines.size() > runs.size() + names.size()) std::abort();
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const std::size_t width = DisplayWidth(lines[i]);
    if (i < runs.size() ? width > widest
                        : width > style.width && entries.count(std::string(lines[i])) == 0) {
      std::abort();
    }
  }
}

// What --runs shows of the job, as text in both styles and as JSON; what
// --status reads of it, in jobs; whether it has runs.
bool ShowJob(TDatabase& db, THistoryReader& reader, const std::string& job, long limit,
             std::size_t width, std::vector<TJobRuns>& jobs) {
  const std::int64_t held = RunsOf(db, job);
  std::vector<TRecordedRun> runs;
  if (!reader.Runs(job, limit, runs)) std::abort();
  if (static_cast<std::int64_t>(runs.size()) != std::min<std::int64_t>(held, limit)) std::abort();
  for (const bool unicode : {false, true}) {
    const TChartStyle style{unicode, width};
    const std::string text = RunsText(job, runs, style);
    CheckTerminalText(text);
    if (!runs.empty()) CheckChart(text, runs, style);
  }
  CheckJsonLines(RunsJson(runs), runs.size());

  jobs.emplace_back();
  if (!reader.JobRuns(job, jobs.back())) std::abort();
  if ((jobs.back().latest || jobs.back().running) != (held > 0)) std::abort();
  return held > 0;
}

// What --status shows of the jobs: a line a job that has runs.
void ShowStatus(const std::vector<TJobRuns>& jobs, std::size_t with_runs,
                TWallClock::time_point now) {
  std::string status;
  std::string json;
  for (const TJobRuns& job : jobs) {
    status += StatusLine(job, now, 12);
    json += StatusJsonLine(job, now);
  }
  CheckTerminalText(status);
  if (Lines(status).size() != with_runs) std::abort();
  CheckJsonLines(json, with_runs);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // A zone with summer time, from no file.
  setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  TInput input(data, size);
  const std::uint8_t shape = input.Byte();
  const long limit = 1 + input.Byte() % 50;
  const std::size_t width = 20 + input.Byte() % 181;
  const TWallClock::time_point now = Now(input);
  const std::string named = input.Text(input.Byte() % 16);
  TDatabase& db = Build(input, shape);
  THistoryReader reader(db, kHere);

  // Each job of the history, as --runs JOB and --status show it.
  std::vector<std::string> names;
  if (!reader.Jobs(names)) std::abort();
  std::vector<TJobRuns> jobs;
  std::size_t with_runs = 0;
  for (std::size_t i = 0; i < names.size(); ++i) {
    // In byte order, each once.
    if (i > 0 && !(names[i - 1] < names[i])) std::abort();
    with_runs += ShowJob(db, reader, names[i], limit, width, jobs);
  }
  ShowStatus(jobs, with_runs, now);

  // The job the input names, as --runs JOB and --status JOB show it.
  if (std::find(names.begin(), names.end(), named) == names.end()) {
    jobs.clear();
    ShowStatus(jobs, ShowJob(db, reader, named, limit, width, jobs), now);
  }
  return 0;
}
