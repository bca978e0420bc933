/* Runs two commands in turn, N pairs of runs, each with its output thrown
 * away; which of the two starts a pair alternates. Prints the median wall
 * time of each in seconds, the median and the quartiles of the ratio of the
 * first one's time to the second one's within each pair, and the largest
 * peak resident memory of each in kB:
 *   "median_a median_b ratio_median ratio_q1 ratio_q3 max_rss_a max_rss_b"
 * Pairs, measured back to back, see the same load of a shared machine, so
 * their ratios spread less than the times do.
 * Usage: pairstat N command-a [args...] -- command-b [args...] */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "timed_run.h"

/* The value at fraction q of the sorted values, between neighbours. */
static double quantile(const double* sorted, int n, double q) {
  const double at = q * (n - 1);
  const int below = (int)at;
  if (below + 1 >= n) return sorted[n - 1];
  return sorted[below] + (at - below) * (sorted[below + 1] - sorted[below]);
}

int main(int argc, char** argv) {
  int split = 2;
  while (split < argc && strcmp(argv[split], "--") != 0) ++split;
  const int pairs = argc > 1 ? atoi(argv[1]) : 0;
  if (pairs < 1 || split == 2 || split >= argc - 1) {
    fprintf(stderr, "usage: pairstat N command-a [args...] -- command-b [args...]\n");
    return 2;
  }
  argv[split] = NULL;
  char** commands[2] = {argv + 2, argv + split + 1};
  double* times[2] = {calloc((size_t)pairs, sizeof(double)), calloc((size_t)pairs, sizeof(double))};
  double* ratios = calloc((size_t)pairs, sizeof(double));
  long max_rss[2] = {0, 0};
  for (int i = 0; i < pairs; ++i) {
    for (int turn = 0; turn < 2; ++turn) {
      const int which = (i + turn) % 2;
      times[which][i] = timed_run(commands[which], &max_rss[which]);
      if (times[which][i] < 0) return 1;
    }
    ratios[i] = times[0][i] / times[1][i];
  }
  for (int which = 0; which < 2; ++which)
    qsort(times[which], (size_t)pairs, sizeof(double), compare_doubles);
  qsort(ratios, (size_t)pairs, sizeof(double), compare_doubles);
  printf("%.4f %.4f %.3f %.3f %.3f %ld %ld\n", quantile(times[0], pairs, 0.5),
         quantile(times[1], pairs, 0.5), quantile(ratios, pairs, 0.5),
         quantile(ratios, pairs, 0.25), quantile(ratios, pairs, 0.75), max_rss[0], max_rss[1]);
  free(times[0]);
  free(times[1]);
  free(ratios);
  return 0;
}
