#ifndef VELMORJOB_FUZZ_MEMORY_FILE_H_
#define VELMORJOB_FUZZ_MEMORY_FILE_H_

#include <cstddef>
#include <cstdint>
#include <string>

// An anonymous in-memory file that fuzz targets fill with their input and
// hand to the program by path, so that no input touches the disk.
class TMemoryFile {
 public:
  TMemoryFile();
  ~TMemoryFile();
  TMemoryFile(const TMemoryFile&) = delete;
  TMemoryFile& operator=(const TMemoryFile&) = delete;

  // Replaces the file's content.
  void Set(const std::uint8_t* data, std::size_t size);
  // A path that opens the file afresh, from its start.
  const std::string& path() const { return path_; }

 private:
  int fd_;
  std::string path_;
};

#endif  // VELMORJOB_FUZZ_MEMORY_FILE_H_
