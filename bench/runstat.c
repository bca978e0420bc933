/* Runs a command N times with its output thrown away and prints the fastest
 * and the median wall time in seconds and the largest peak resident memory
 * in kB: "min median max_rss_kb".
 * Usage: runstat N command [args...] */
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

static int compare(const void* a, const void* b) {
  const double x = *(const double*)a, y = *(const double*)b;
  return (x > y) - (x < y);
}

int main(int argc, char** argv) {
  if (argc < 3) {
    fprintf(stderr, "usage: runstat N command [args...]\n");
    return 2;
  }
  const int runs = atoi(argv[1]);
  double* times = calloc((size_t)runs, sizeof *times);
  long max_rss = 0;
  for (int i = 0; i < runs; ++i) {
    struct timespec start, end;
    clock_gettime(CLOCK_MONOTONIC, &start);
    const pid_t child = fork();
    if (child == 0) {
      const int null_fd = open("/dev/null", O_WRONLY);
      dup2(null_fd, 1);
      execvp(argv[2], argv + 2);
      _exit(127);
    }
    int status;
    struct rusage usage;
    wait4(child, &status, 0, &usage);
    clock_gettime(CLOCK_MONOTONIC, &end);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
      fprintf(stderr, "runstat: %s failed\n", argv[2]);
      return 1;
    }
    times[i] = (double)(end.tv_sec - start.tv_sec) + (double)(end.tv_nsec - start.tv_nsec) / 1e9;
    if (usage.ru_maxrss > max_rss) max_rss = usage.ru_maxrss;
  }
  qsort(times, (size_t)runs, sizeof *times, compare);
  printf("%.4f %.4f %ld\n", times[0], times[runs / 2], max_rss);
  free(times);
  return 0;
}
