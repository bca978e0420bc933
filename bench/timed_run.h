/* What runstat and pairstat share: one run of a command, timed. */
#ifndef VELMORJOB_BENCH_TIMED_RUN_H_
#define VELMORJOB_BENCH_TIMED_RUN_H_

#include <fcntl.h>
#include <stdio.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

/* Orders doubles for qsort. */
static int compare_doubles(const void* a, const void* b) {
  const double x = *(const double*)a, y = *(const double*)b;
  return (x > y) - (x < y);
}

/* Runs the command once with its output thrown away; returns its wall time
 * in seconds, or -1 when it failed, and raises max_rss to its peak
 * resident memory in kB. */
static double timed_run(char** command, long* max_rss) {
  struct timespec start, end;
  clock_gettime(CLOCK_MONOTONIC, &start);
  const pid_t child = fork();
  if (child == 0) {
    const int null_fd = open("/dev/null", O_WRONLY);
    dup2(null_fd, 1);
    execvp(command[0], command);
    _exit(127);
  }
  int status;
  struct rusage usage;
  if (child < 0 || wait4(child, &status, 0, &usage) != child) return -1;
  clock_gettime(CLOCK_MONOTONIC, &end);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    fprintf(stderr, "%s failed\n", command[0]);
    return -1;
  }
  if (usage.ru_maxrss > *max_rss) *max_rss = usage.ru_maxrss;
  return (double)(end.tv_sec - start.tv_sec) + (double)(end.tv_nsec - start.tv_nsec) / 1e9;
}

#endif /* VELMORJOB_BENCH_TIMED_RUN_H_ */
