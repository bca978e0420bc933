// Reads the same bytes with the block reader and with fgets, piece by
// piece, and checks that both deliver the same pieces, leave the buffer the
// same when nothing is read, and reach the end at the same read; and that
// skipping pieces passes over exactly the ones fgets would deliver.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/line_reader.h"
#include "memory_file.h"

namespace {

// Reading with Skip(keep) before each Gets must deliver the pieces of fgets
// that begin with keep and pass over exactly the others.
void CheckSkip(const std::string& path, int line_size, char keep) {
  FILE* stream = std::fopen(path.c_str(), "r");
  if (stream == nullptr) std::abort();
  std::vector<std::string> kept;
  long skipped = 0;
  std::string piece(static_cast<std::size_t>(line_size), '\0');
  while (std::fgets(piece.data(), line_size, stream) != nullptr) {
    if (piece[0] == keep) {
      kept.push_back(piece.substr(0, piece.find('\0')));
    } else {
      ++skipped;
    }
  }
  std::fclose(stream);

  TLineReader reader;
  if (!reader.Open(path.c_str())) std::abort();
  std::size_t next = 0;
  long passed = 0;
  for (;;) {
    passed += reader.Skip(keep, line_size);
    if (!reader.Gets(piece.data(), line_size)) break;
    if (next >= kept.size() || kept[next] != piece.substr(0, piece.find('\0'))) std::abort();
    ++next;
  }
  if (next != kept.size() || passed != skipped || !reader.Eof()) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static TMemoryFile file;
  if (size < 1) return 0;
  // The first byte chooses the buffer size, 255 most of the time.
  const int line_size = data[0] < 128 ? 255 : 2 + data[0] % 254;
  file.Set(data + 1, size - 1);

  FILE* stream = std::fopen(file.path().c_str(), "r");
  if (stream == nullptr) std::abort();
  TLineReader reader;
  if (!reader.Open(file.path().c_str())) std::abort();

  char expected[256];
  char actual[256];
  std::memset(expected, 0x5a, sizeof expected);
  std::memset(actual, 0x5a, sizeof actual);
  int reads = 0;
  while (!std::feof(stream)) {
    const bool got_expected = std::fgets(expected, line_size, stream) != nullptr;
    const bool got_actual = reader.Gets(actual, line_size);
    ++reads;
    if (got_expected != got_actual) std::abort();
    if (std::memcmp(expected, actual, sizeof expected) != 0) std::abort();
    if ((std::feof(stream) != 0) != reader.Eof()) std::abort();
    if (reader.Error() || std::ferror(stream)) std::abort();
    if (reads > static_cast<int>(size) + 2) std::abort();  // must always get somewhere
  }
  // Both stay at the end.
  if (reader.Gets(actual, line_size) || !reader.Eof()) std::abort();
  std::fclose(stream);
  CheckSkip(file.path(), line_size, static_cast<char>(data[0]));
  return 0;
}
