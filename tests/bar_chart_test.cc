#include "app/bar_chart.h"

#include <gtest/gtest.h>

namespace {

TEST(BarChartTest, DrawsEachRunOnACommonScaleWithoutLosingCellsToRounding) {
  // The bar takes 40 - (1 + 2 + 2 + 2) = 33 columns; the longest run, 4 s,
  // fills it. Its steps end at 12.375, 24.75 and 33 columns: rounded where
  // they end, no cell is lost as it would be rounding each step alone.
  const std::vector<TChartRow> rows = {
      {"A", {{1, 1.5}, {2, 1.5}, {3, 1}}, "4s"},
      {"B", {{1, 2}}, "2s"},
      {"C", {}, "-"},
  };
  const std::map<int, std::string> names = {{1, "1 ./indexer"}, {2, "2 ./runner"}, {3, "3 ./x"}};
  EXPECT_EQ("A  " + std::string(12, '#') + std::string(13, '=') + std::string(8, ':') + "  4s\n" +
                "B  " + std::string(17, '#') + std::string(16, ' ') + "  2s\n" + "C  " +
                std::string(33, ' ') + "  -\n" + "# 1 ./indexer  = 2 ./runner  : 3 ./x\n",
            BarChart(rows, names, TChartStyle{false, 40}));
}

TEST(BarChartTest, ShadesStepsInTurnWithBlocksAndWrapsTheLegend) {
  const std::vector<TChartRow> rows = {{"r", {{1, 1}, {2, 1}, {3, 1}, {4, 1}, {5, 1}}, "5s"}};
  const std::map<int, std::string> names = {
      {1, "1 a"}, {2, "2 b"}, {3, "3 c"}, {4, "4 d"}, {5, "5 e"}};
  // 24 - (1 + 2 + 2 + 2) = 17 columns: the steps end at 3.4, 6.8, 10.2,
  // 13.6 and 17; the fifth step has the first one's shade.
  const std::string full = "\u2588", dark = "\u2593", medium = "\u2592", light = "\u2591";
  auto times = [](const std::string& cell, int count) {
    std::string cells;
    for (int i = 0; i < count; ++i) cells += cell;
    return cells;
  };
  EXPECT_EQ("r  " + times(full, 3) + times(dark, 4) + times(medium, 3) + times(light, 4) +
                times(full, 3) + "  5s\n" + full + " 1 a  " + dark + " 2 b  " + medium + " 3 c\n" +
                light + " 4 d  " + full + " 5 e\n",
            BarChart(rows, names, TChartStyle{true, 24}));
}

}  // namespace
