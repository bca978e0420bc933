/* The baseline for a job of many steps: calls system() on one command text
 * a number of times, one after another.
 * Usage: system_loop N command-text */
#include <stdio.h>
#include <stdlib.h>

int main(int argc, char** argv) {
  if (argc != 3) {
    fprintf(stderr, "usage: system_loop N command-text\n");
    return 2;
  }
  const int runs = atoi(argv[1]);
  for (int i = 0; i < runs; ++i) system(argv[2]);
  return 0;
}
