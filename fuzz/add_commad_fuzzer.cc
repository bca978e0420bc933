// Feeds arbitrary lines to AddCommad for both step kinds, with the step's
// option text already filled to a length the input chooses, and checks what
// it promises: the text never passes the limit, a failure leaves it as it
// was, a success appends options of the form " --name=value", and the
// command text quotes every value that the shell would not take literally.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "core/server.h"
#include "job/command_text.h"
#include "job/run_files.h"
#include "job/step_list.h"
#include "options/add_commad.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* input, std::size_t size) {
  if (size < 2) return 0;
  // The first two bytes choose how full params is before the line.
  const std::size_t fill =
      ((static_cast<std::size_t>(input[0]) << 8) | input[1]) % (kMaxParams + 1);
  const std::string line(reinterpret_cast<const char*>(input + 2), size - 2);
  for (const TRunFile* row = runfiles; row->step != nullptr; ++row) {
    auto step = MakeStep(*row);
    step->params.assign(fill, 'p');
    const std::string before = step->params;
    const int result = AddCommad(line.c_str(), step.get());
    Check(result == 0 || result == 1);
    Check(step->params.size() <= kMaxParams);
    if (result == 0) {
      Check(step->params == before);
      continue;
    }
    Check(step->params.compare(0, before.size(), before) == 0);
    Check(step->params.compare(before.size(), 3, " --") == 0);
    // Only the appended option is checked: the filler is no option text.
    step->params.erase(0, before.size());
    const std::string command = CommandText(*step);
    Check(command.compare(0, step->program.size() + 1, step->program + " ") == 0);
    const std::size_t equals = command.find('=');
    Check(equals != std::string::npos);
    const std::string value = command.substr(equals + 1);
    bool safe = true;
    for (char c : value) safe = safe && IsShellSafe(c);
    Check(safe || (value.front() == '\'' && value.back() == '\''));
  }
  return 0;
}
