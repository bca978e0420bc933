/* Runs a command N times with its output thrown away and prints the fastest
 * and the median wall time in seconds and the largest peak resident memory
 * in kB: "min median max_rss_kb".
 * Usage: runstat N command [args...] */
#include <stdio.h>
#include <stdlib.h>

#include "timed_run.h"

int main(int argc, char** argv) {
  if (argc < 3) {
    fprintf(stderr, "usage: runstat N command [args...]\n");
    return 2;
  }
  const int runs = atoi(argv[1]);
  double* times = calloc((size_t)runs, sizeof *times);
  long max_rss = 0;
  for (int i = 0; i < runs; ++i) {
    times[i] = timed_run(argv + 2, &max_rss);
    if (times[i] < 0) return 1;
  }
  qsort(times, (size_t)runs, sizeof *times, compare_doubles);
  printf("%.4f %.4f %ld\n", times[0], times[runs / 2], max_rss);
  free(times);
  return 0;
}
