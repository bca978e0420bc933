// End-to-end runs over hostile configuration files: garbage, NUL bytes,
// huge lines, huge files and huge jobs. The program must neither crash nor
// hang, and its memory must not grow with the size of the file.

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "e2e_harness.h"

namespace {

using namespace std::string_literals;

class HostileTest : public E2eTest {
 protected:
  void ExpectClean(const TRun& run, int status) {
    EXPECT_EQ(status, run.status);
    EXPECT_EQ("", run.err);
  }
};

// Deterministic bytes of every value, newlines included.
std::string Garbage(std::size_t size, std::uint32_t seed) {
  std::string bytes(size, '\0');
  for (char& c : bytes) {
    seed = seed * 1664525u + 1013904223u;
    c = static_cast<char>(seed >> 24);
  }
  return bytes;
}

TEST_F(HostileTest, BinaryGarbageIsReadSafely) {
  Config(Garbage(1 << 20, 7) + "\n[Job g]\n[Index]\nMaxFiles 5\n");
  const TRun run = Run({"g"});
  EXPECT_LE(run.status, 2);
  EXPECT_EQ("", run.err);
  EXPECT_THAT(run.out, testing::StartsWith(kBanner));
  EXPECT_EQ("indexer [--maxfiles=5]\n", Calls());
  for (const char* mode : {"--check", "--list"}) {
    const TRun other = Run({mode});
    EXPECT_LE(other.status, 2) << mode;
    EXPECT_EQ("", other.err) << mode;
  }
  const TRun garbage_job = Run({"--dry-run", Garbage(40, 3).substr(0, 20).c_str()});
  EXPECT_LE(garbage_job.status, 2);
}

TEST_F(HostileTest, NulBytesEndTheLineAsTheProgramSeesIt) {
  Config(
      "[Job a\0]\n"s         // 1: the name has no ']' before the NUL: malformed
      "[Job b]\n"            // 2
      "[Index]\n"            // 3
      "MaxFiles 5\0junk\n"s  // 4: the setting ends at the NUL
      "[Job c]\n"            // 5
      "[Index]\n"            // 6
      "\0MaxFiles 5\n"s);    // 7: an empty line
  ExpectClean(Run({"b"}), 2);
  EXPECT_EQ("indexer [--maxfiles=5]\n", Calls());
  const TRun run = Run({"c"});
  EXPECT_EQ(std::string(kBanner) + "Error at line 1:\n[Job aError at line 7:\n", run.out);
  ExpectClean(run, 2);
  EXPECT_EQ("indexer [--maxfiles=5]\n", Calls());
}

TEST_F(HostileTest, FiveMegabyteLineArrivesInCountedPieces) {
  const std::size_t size = 5 << 20;
  // A 5 MB comment in another job, then a 5 MB value in the requested one.
  Config("[Job other]\n#" + std::string(size, 'c') + "\n[Job a]\n[Index]\nURL " +
         std::string(size, 'u') + "\n");
  const TRun run = Run({"a"});
  ExpectClean(run, 2);
  // Line 2 is size + 2 bytes: pieces of 254 bytes, the last one shorter.
  const std::size_t comment_pieces = (size + 2 + 253) / 254;
  const std::size_t url_line = 1 + comment_pieces + 3;
  // The first piece of the long setting is valid; the second is a line of
  // 254 u's with no blank after it.
  EXPECT_EQ(std::string(kBanner) + "Error at line " + std::to_string(url_line + 1) + ":\n" +
                std::string(254, 'u'),
            run.out);
  EXPECT_EQ("", Calls());
}

// Writes about `megabytes` MB of sections of the job "filler", then the job
// "target".
void WriteLargeConfig(const std::string& path, int megabytes) {
  std::string block;
  while (block.size() < (1 << 20)) {
    block +=
        "[Job filler]\n[Index]\nURL http://www.example.com/some/path/\nMaxFiles 500\n"
        "CharSet koi8-r # comment\nStatistic Append\n[Runner]\nFilename report\n";
  }
  std::ofstream out(path, std::ios::binary);
  for (int i = 0; i < megabytes; ++i)
    out.write(block.data(), static_cast<std::streamsize>(block.size()));
  out << "[Job target]\n[Runner]\nFilename done\n";
}

TEST_F(HostileTest, LargeFileIsReadInConstantMemory) {
  // Far too slow under a wrapper such as valgrind, whose own memory would
  // hide the program's anyway.
  if (Wrapped()) GTEST_SKIP() << "not under " << std::getenv("VELMORJOB_WRAPPER");
  // Forty times the size: a reader that kept what it read would grow by
  // some 39 MB, twenty times the margin below.
  WriteLargeConfig(dir_.File("small.conf"), 1);
  WriteLargeConfig(dir_.File("huge.conf"), 40);
  for (const char* mode : {"--dry-run", "--check"}) {
    SCOPED_TRACE(mode);
    // The output, which for --check warns of every section of the repeated
    // job, is not kept: the peak memory the system counts for a child
    // includes what the test itself held when it forked the child.
    const TRun small = RunWithOutputTo("/dev/null", {mode, "--config=small.conf", "target"});
    const TRun huge = RunWithOutputTo("/dev/null", {mode, "--config=huge.conf", "target"});
    ExpectClean(small, 0);
    ExpectClean(huge, 0);
    // The reader holds one block and one line whatever the file's size.
    EXPECT_LT(huge.max_rss_kb - small.max_rss_kb, 2048)
        << small.max_rss_kb << " kB then " << huge.max_rss_kb << " kB";
  }
  const TRun run = Run({"--dry-run", "--config=huge.conf", "target"});
  EXPECT_EQ("./runner  --program=done\n", run.out);
}

TEST_F(HostileTest, HundredThousandStepsNeitherOverflowNorTake2KilobytesEach) {
  if (Wrapped()) GTEST_SKIP() << "not under " << std::getenv("VELMORJOB_WRAPPER");
  const int steps = 100000;
  std::string many = "[Job many]\n";
  for (int i = 0; i < steps; ++i) many += i % 2 ? "[Runner]\n" : "[Index]\nMaxFiles 5\n";
  Config(many);
  Config("[Job many]\n[Index]\nMaxFiles 5\n", "one.conf");

  const TRun one = Run({"--dry-run", "--config=one.conf", "many"});
  const TRun run = Run({"--dry-run", "many"});
  ExpectClean(run, 0);
  std::string expected;
  for (int i = 0; i < steps; ++i) expected += i % 2 ? "./runner \n" : "./indexer  --maxfiles=5\n";
  EXPECT_EQ(expected, run.out);
  // A fixed 2 KB buffer for each step would come to 200 MB.
  const long grown_kb = run.max_rss_kb - one.max_rss_kb;
  EXPECT_LT(grown_kb, 40 * 1024) << "grew by " << grown_kb << " kB";
  ExpectClean(Run({"--check"}), 0);
}

}  // namespace
