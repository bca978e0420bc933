// The deployment examples follow the table of exit statuses: the statuses on
// which the Kubernetes CronJob fails its Job at once, without a retry, and
// those for which the failed-run alert says that running the job again fails
// the same way, are exactly the table's permanent ones.

#include "core/exit_status.h"

#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

std::string SourceFile(const std::string& name) {
  std::ifstream in(std::string(VELMORJOB_SOURCE_DIR) + "/" + name);
  std::stringstream buffer;
  buffer << in.rdbuf();
  return buffer.str();
}

std::set<int> PermanentStatuses() {
  std::set<int> codes;
  for (const TExitStatus* row = kExitStatuses; row->result != nullptr; ++row) {
    if (row->permanent) codes.insert(row->code);
  }
  return codes;
}

// The lines of a YAML text without its comment lines, each without its
// indentation.
std::vector<std::string> YamlLines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    line.erase(0, line.find_first_not_of(' '));
    if (!line.empty() && line[0] != '#') lines.push_back(line);
  }
  return lines;
}

// The exit codes of each FailJob rule of the manifest's podFailurePolicy:
// the flow list "values: [...]" of the rule, from its line "- action:
// FailJob" to the next rule's line. A rule without such a list has none.
std::vector<std::set<int>> FailJobCodes(const std::string& manifest) {
  const std::regex values(R"(values: \[([0-9, ]*)\])");
  const std::regex code("[0-9]+");
  std::vector<std::set<int>> rules;
  bool in_fail_job = false;
  for (const std::string& line : YamlLines(manifest)) {
    if (line.rfind("- action:", 0) == 0) {
      in_fail_job = line == "- action: FailJob";
      if (in_fail_job) rules.emplace_back();
      continue;
    }
    std::smatch match;
    if (!in_fail_job || !std::regex_search(line, match, values)) continue;
    const std::string list = match[1];
    for (std::sregex_iterator it(list.begin(), list.end(), code), end; it != end; ++it) {
      rules.back().insert(std::stoi(it->str()));
    }
  }
  return rules;
}

// The statuses "(eq $value N.0)" on the line of the failed-run alert's
// description that tells that running the job again fails the same way.
std::set<int> RerunFailsCodes(const std::string& rules) {
  const std::regex status(R"(\(eq \$value ([0-9]+)\.0\))");
  std::set<int> codes;
  std::istringstream in(rules);
  for (std::string line; std::getline(in, line);) {
    if (line.find("Running it again fails the same way") == std::string::npos) continue;
    for (std::sregex_iterator it(line.begin(), line.end(), status), end; it != end; ++it) {
      codes.insert(std::stoi((*it)[1].str()));
    }
  }
  return codes;
}

TEST(DeployExamplesTest, CronJobFailsAtOnceOnExactlyThePermanentStatuses) {
  const std::string manifest = SourceFile("deploy/kubernetes/velmorjob-cronjob.yaml");
  ASSERT_NE("", manifest);
  const std::vector<std::set<int>> rules = FailJobCodes(manifest);
  ASSERT_EQ(1u, rules.size()) << "the manifest should have one FailJob rule";
  EXPECT_EQ(PermanentStatuses(), rules[0]);
}

TEST(DeployExamplesTest, FailedRunAlertSaysARerunFailsOnExactlyThePermanentStatuses) {
  const std::string rules = SourceFile("monitoring/velmorjob.rules.yml");
  ASSERT_NE("", rules);
  EXPECT_EQ(PermanentStatuses(), RerunFailsCodes(rules));
}

TEST(DeployExamplesTest, ReadsTheCodesOfTheFailJobRuleAlone) {
  const struct {
    const char* manifest;
    std::vector<std::set<int>> rules;
  } cases[] = {
      {"rules:\n"
       "  # - action: FailJob\n"
       "  #     values: [9]\n"
       "  - action: Count\n"
       "    onExitCodes:\n"
       "      values: [3]\n"
       "  - action: FailJob\n"
       "    onExitCodes:\n"
       "      operator: In\n"
       "      values: [1, 2, 42]\n"
       "  - action: Ignore\n"
       "    onExitCodes:\n"
       "      values: [143]\n",
       {{1, 2, 42}}},
      {"  - action: FailJob\n    onPodConditions:\n      - type: ConfigIssue\n", {{}}},
      {"  - action: FailJob\n      values: [1]\n  - action: FailJob\n      values: [2]\n",
       {{1}, {2}}},
      {"  - action: Ignore\n      values: [1]\n", {}},
  };
  for (const auto& c : cases) EXPECT_EQ(c.rules, FailJobCodes(c.manifest)) << c.manifest;
}

}  // namespace
