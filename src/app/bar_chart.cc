#include "app/bar_chart.h"

#include <algorithm>
#include <cmath>

#include "report/text_escape.h"

namespace {

// The shades of the steps, in turn: step 1 the first, step 2 the second...
const char* const kUnicodeShades[] = {"\u2588", "\u2593", "\u2592", "\u2591"};
const char* const kAsciiShades[] = {"#", "=", ":", "."};
constexpr std::size_t kShades = 4;
// The bar is never narrower than this, whatever the width.
constexpr std::size_t kMinBar = 10;

const char* Shade(int step, const TChartStyle& style) {
  const std::size_t which = static_cast<std::size_t>(step > 0 ? step - 1 : 0) % kShades;
  return style.unicode ? kUnicodeShades[which] : kAsciiShades[which];
}

std::string Repeat(const char* text, std::size_t times) {
  std::string repeated;
  for (std::size_t i = 0; i < times; ++i) repeated += text;
  return repeated;
}

std::string Padded(const std::string& text, std::size_t width) {
  const std::size_t shown = DisplayWidth(text);
  return shown < width ? text + std::string(width - shown, ' ') : text;
}

double Total(const std::map<int, double>& segments) {
  double total = 0;
  for (const auto& segment : segments) total += segment.second;
  return total;
}

}  // namespace

std::string BarChart(const std::vector<TChartRow>& rows, const std::map<int, std::string>& names,
                     const TChartStyle& style) {
  std::size_t label_width = 0;
  std::size_t after_width = 0;
  double longest = 0;
  for (const TChartRow& row : rows) {
    label_width = std::max(label_width, DisplayWidth(row.label));
    after_width = std::max(after_width, DisplayWidth(row.after));
    longest = std::max(longest, Total(row.segments));
  }
  const std::size_t taken = label_width + 2 + 2 + after_width;
  const std::size_t bar = style.width > taken + kMinBar ? style.width - taken : kMinBar;

  std::string chart;
  for (const TChartRow& row : rows) {
    std::string line = Padded(row.label, label_width) + "  ";
    // Each step ends where the sum of the steps so far falls, so that the
    // cells rounded away from one step are not lost to the whole.
    double sum = 0;
    std::size_t filled = 0;
    for (const auto& [step, seconds] : row.segments) {
      sum += seconds;
      const double end = longest > 0 ? std::round(sum / longest * static_cast<double>(bar)) : 0;
      const std::size_t upto = std::min(bar, static_cast<std::size_t>(std::max(0.0, end)));
      line += Repeat(Shade(step, style), upto > filled ? upto - filled : 0);
      filled = std::max(filled, upto);
    }
    line += std::string(bar - filled, ' ') + "  " + row.after;
    while (!line.empty() && line.back() == ' ') line.pop_back();
    chart += line + "\n";
  }

  // The legend, wrapped at the width.
  std::string line;
  for (const auto& [step, name] : names) {
    const std::string entry = std::string(Shade(step, style)) + " " + name;
    if (!line.empty() && DisplayWidth(line) + 2 + DisplayWidth(entry) > style.width) {
      chart += line + "\n";
      line.clear();
    }
    line += (line.empty() ? "" : "  ") + entry;
  }
  if (!line.empty()) chart += line + "\n";
  return chart;
}
