#include "app/run_id.h"

#include <set>
#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace {

TEST(RunIdTest, IsAVersion4UuidNewEachTime) {
  std::set<std::string> ids;
  for (int i = 0; i < 100; ++i) {
    const std::string id = NewRunId();
    EXPECT_THAT(id, testing::MatchesRegex(
                        "[0-9a-f]{8}-[0-9a-f]{4}-4[0-9a-f]{3}-[89ab][0-9a-f]{3}-[0-9a-f]{12}"));
    ids.insert(id);
  }
  EXPECT_EQ(100u, ids.size());
}

}  // namespace
