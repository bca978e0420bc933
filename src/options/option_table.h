#ifndef VELMORJOB_OPTIONS_OPTION_TABLE_H_
#define VELMORJOB_OPTIONS_OPTION_TABLE_H_

// One rule of the translation from a setting in the configuration file to an
// option of a step program.
struct TOptionRule {
  const char* step;    // step kind the rule belongs to: "Index" or "Runner"
  const char* key;     // key as written in the configuration file
  const char* match;   // value as written, or "%" for any value
  const char* option;  // option name the step program receives
  const char* value;   // value it receives when match is not "%"
};

// Wildcard of the match and value fields: pass the configured value on.
constexpr char kAnyValue[] = "%";

// The translation table, ended by a row whose fields are all null.
extern const TOptionRule data[];

#endif  // VELMORJOB_OPTIONS_OPTION_TABLE_H_
