#include "app/out_of_memory.h"

#include <cstdlib>
#include <new>

#include "core/outcome.h"
#include "core/output.h"

namespace {

[[noreturn]] void OnOutOfMemory() {
  static constexpr char kMessage[] = "velmorjob: out of memory\n";
  SayLastWords(TPriority::kError, std::string_view(kMessage, sizeof kMessage - 1));
  std::_Exit(kExitConfig);
}

}  // namespace

void InstallOutOfMemoryHandler() { std::set_new_handler(OnOutOfMemory); }
