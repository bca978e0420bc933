#include "app/out_of_memory.h"

#include <cstdio>
#include <cstdlib>
#include <new>

#include "core/outcome.h"

namespace {

[[noreturn]] void OnOutOfMemory() {
  std::fputs("velmorjob: out of memory\n", stdout);
  std::fflush(stdout);
  std::_Exit(kExitConfig);
}

}  // namespace

void InstallOutOfMemoryHandler() { std::set_new_handler(OnOutOfMemory); }
