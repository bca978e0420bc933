#ifndef VELMORJOB_APP_BAR_CHART_H_
#define VELMORJOB_APP_BAR_CHART_H_

#include <cstddef>
#include <map>
#include <string>
#include <vector>

// A chart of runs for the terminal: one row a run, its steps one after
// another as a bar, each as long as it took on a scale common to all rows,
// each step in a shade of its own.

struct TChartStyle {
  // Unicode blocks (when the locale's character set is UTF-8), or ASCII.
  bool unicode = false;
  // The columns the chart may take.
  std::size_t width = 80;
};

struct TChartRow {
  std::string label;               // before the bar: when the run started
  std::map<int, double> segments;  // each step's seconds, by step number
  std::string after;               // after the bar: how long it took
};

// The rows, each a line, and below them a legend of the shades: for each
// step number in `names`, its shade and name. Labels and names are text for
// the terminal already.
std::string BarChart(const std::vector<TChartRow>& rows, const std::map<int, std::string>& names,
                     const TChartStyle& style);

#endif  // VELMORJOB_APP_BAR_CHART_H_
