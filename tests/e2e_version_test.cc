// End-to-end runs of --version: the banner, then the line of the build.

#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "app/build_info.h"
#include "app/version.h"
#include "e2e_harness.h"

namespace {

using VersionTest = E2eTest;

TEST_F(VersionTest, PrintsTheBannerThenTheBuildLine) {
  const TRun run = Run({"--version"});
  Expect(run, kBanner + BuildLine(), 0);
  // The line the unit tests check against the build's values, in full.
  EXPECT_THAT(run.out.substr(kBanner.size()),
              testing::MatchesRegex(std::string("velmorjob ") + kVersion + " \\(build " + kBuild +
                                    "\\), built [0-9]{4}-[0-9]{2}-[0-9]{2} with [a-z+]+ "
                                    "[0-9]+\\.[0-9]+ for [a-z0-9_]+(-[a-z0-9_]+)+\n"));
}

}  // namespace
