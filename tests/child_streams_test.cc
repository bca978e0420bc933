#include "job/child_streams.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <poll.h>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

// What the scripted reader gives: one chunk a call, then "nothing more for
// now", as a pipe read many times at once would.
std::vector<std::string> chunks;
std::size_t next_chunk = 0;

ssize_t ScriptedRead(int, void* buffer, std::size_t size) {
  if (next_chunk == chunks.size()) {
    errno = EAGAIN;
    return -1;
  }
  const std::string& chunk = chunks[next_chunk++];
  const std::size_t given = std::min(size, chunk.size());
  std::memcpy(buffer, chunk.data(), given);
  return static_cast<ssize_t>(given);
}

// A chunk of the size whose bytes say which chunk it is and where in it
// they stand, so that a chunk read over another shows.
std::string Chunk(char name, std::size_t size) {
  std::string chunk;
  for (std::size_t i = 0; chunk.size() < size; ++i) chunk += name + std::to_string(i) + ",";
  chunk.resize(size);
  return chunk;
}

// The chunks come in one go; the tail is the last bytes of all of them,
// whichever are longer than the tail and whichever shorter.
TEST(ChildStreamsTest, TheTailOfChunksReadInOneGoIsTheirLastBytes) {
  const std::size_t kLimit = 5000;
  const std::vector<std::vector<std::string>> cases = {
      {Chunk('a', 100000), Chunk('b', 3000)},
      {Chunk('a', 3000), Chunk('b', 100000)},
      {Chunk('a', 6000), Chunk('b', 6000), Chunk('c', 10)},
      {Chunk('a', 100), Chunk('b', 200), Chunk('c', 300), Chunk('d', 7000), Chunk('e', 1)},
      // All within the tail, each shorter than the one before.
      {Chunk('a', 3000), Chunk('b', 1000), Chunk('c', 10)},
  };
  for (const std::vector<std::string>& given : cases) {
    chunks = given;
    next_chunk = 0;
    std::string all;
    for (const std::string& chunk : given) all += chunk;
    TOutputTail tail(kLimit);
    TChildStreams streams(nullptr, &tail, false);
    streams.SetReadFunction(ScriptedRead);
    ASSERT_TRUE(streams.Open());
    std::vector<pollfd> fds;
    streams.Want(fds);
    ASSERT_FALSE(fds.empty());
    fds.front().revents = POLLIN;  // the standard output's pipe
    streams.Serve(fds);
    EXPECT_EQ(given.size(), next_chunk) << "read in one go";
    EXPECT_EQ(all.size(), tail.Bytes());
    const std::size_t kept = std::min(all.size(), kLimit);
    EXPECT_TRUE(tail.Text() == all.substr(all.size() - kept)) << given.size() << " chunks";
  }
}

}  // namespace
