#include "job/run_files.h"

#include <cstring>

const TRunFile runfiles[] = {
    {"Index", "./indexer"},
    {"Runner", "./runner"},
    {nullptr, nullptr},
};

bool NamesStep(const char* line, const TRunFile& row) {
  return line[0] == '[' && std::strncmp(line + 1, row.step, std::strlen(row.step)) == 0;
}
