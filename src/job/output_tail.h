#ifndef VELMORJOB_JOB_OUTPUT_TAIL_H_
#define VELMORJOB_JOB_OUTPUT_TAIL_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// The last bytes a process wrote, in the order they came, and how many it
// wrote in all. Its memory is bounded by the limit, however much is
// written.
class TOutputTail {
 public:
  explicit TOutputTail(std::size_t limit) : limit_(limit) {}

  void Append(std::string_view bytes);
  // Counts bytes that are followed by at least limit() more, and so would
  // be pushed out of the tail anyway, without copying them.
  void Skip(std::size_t count) { bytes_ += count; }
  // The last min(Bytes(), limit) bytes, oldest first.
  std::string Text() const;
  std::uint64_t Bytes() const { return bytes_; }
  std::size_t limit() const { return limit_; }

 private:
  std::size_t limit_;
  // A ring of at most limit_ bytes; begin_ is the oldest once it is full.
  std::string ring_;
  std::size_t begin_ = 0;
  std::uint64_t bytes_ = 0;
};

#endif  // VELMORJOB_JOB_OUTPUT_TAIL_H_
