// The build line of --version names this build: the test gets what it
// expects from CMake (see tests/CMakeLists.txt).

#include "app/build_info.h"

#include <cstdlib>
#include <ctime>
#include <string>

#include <gtest/gtest.h>

namespace {

// The compilers the build knows by their drivers' names.
const struct {
  const char* id;
  const char* name;
} kCompilerNames[] = {{"GNU", "g++"}, {"Clang", "clang++"}};

// The name of the compiler that CMake found, as the line gives it.
std::string CompilerName() {
  for (const auto& compiler : kCompilerNames) {
    if (std::string(compiler.id) == VELMORJOB_TEST_COMPILER_ID) return compiler.name;
  }
  return VELMORJOB_TEST_COMPILER_ID;
}

// The major and minor version of the compiler that CMake found, such as
// "12.2" of "12.2.0".
std::string CompilerVersion() {
  const std::string full = VELMORJOB_TEST_COMPILER_VERSION;
  return full.substr(0, full.find('.', full.find('.') + 1));
}

// The date of SOURCE_DATE_EPOCH when it is set for the build, else when the
// tree was configured, in UTC; otherwise the release date. The tests run in
// the build's environment, so the one they see stands for the build's.
std::string BuildDate() {
  const char* set = std::getenv("SOURCE_DATE_EPOCH");
  const std::string epoch = set != nullptr && *set != '\0' ? set : VELMORJOB_TEST_CONFIGURE_EPOCH;
  if (epoch.empty()) return VELMORJOB_TEST_RELEASE_DATE;
  const std::time_t seconds = static_cast<std::time_t>(std::stoll(epoch));
  std::tm utc{};
  gmtime_r(&seconds, &utc);
  char date[32];
  std::strftime(date, sizeof date, "%Y-%m-%d", &utc);
  return date;
}

TEST(BuildInfoTest, LineNamesTheVersionDateCompilerAndTarget) {
  EXPECT_EQ(std::string("velmorjob ") + VELMORJOB_TEST_VERSION + " (build " + VELMORJOB_TEST_BUILD +
                "), built " + BuildDate() + " with " + CompilerName() + " " + CompilerVersion() +
                " for " + VELMORJOB_TEST_TARGET + "\n",
            BuildLine());
}

TEST(BuildInfoTest, TargetNamesTheMachineAndSystemOfTheLibraries) {
  // Debian's multiarch name of the libraries the build links, such as
  // "x86_64-linux-gnu", found by CMake apart from the compiler's target: the
  // target ("x86_64-linux-gnu" of g++, "x86_64-pc-linux-gnu" of clang) has
  // its machine first and its system last.
  const std::string libraries = VELMORJOB_TEST_LIBRARY_ARCHITECTURE;
  if (libraries.find('-') == std::string::npos) {
    GTEST_SKIP() << "CMake found no multiarch library directory";
  }
  const std::string target = VELMORJOB_TEST_TARGET;
  const std::string machine = libraries.substr(0, libraries.find('-') + 1);
  const std::string system = libraries.substr(libraries.find('-'));
  EXPECT_EQ(0u, target.rfind(machine, 0)) << target;
  ASSERT_GE(target.size(), system.size()) << target;
  EXPECT_EQ(system, target.substr(target.size() - system.size())) << target;
}

}  // namespace
