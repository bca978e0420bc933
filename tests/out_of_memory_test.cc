#include "app/out_of_memory.h"

#include <cstdio>
#include <fcntl.h>
#include <limits>
#include <new>
#include <unistd.h>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include "core/output.h"
#include "temp_dir.h"

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kUnderAddressSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kUnderAddressSanitizer = true;
#else
constexpr bool kUnderAddressSanitizer = false;
#endif
#else
constexpr bool kUnderAddressSanitizer = false;
#endif

TEST(OutOfMemoryTest, FailedAllocationEndsWithAMessageAndStatus2) {
  // The sanitizer's allocator reports a failed allocation itself and never
  // calls the new handler.
  if (kUnderAddressSanitizer) GTEST_SKIP() << "not under AddressSanitizer";
  TTempDir dir;
  const std::string out = dir.File("out");
  std::fflush(stdout);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    const int fd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (fd < 0 || dup2(fd, 1) != 1) _exit(100);
    // Buffered, as messages are: written before the last words.
    Say(TPriority::kInfo, "before\n");
    InstallOutOfMemoryHandler();
    void* volatile p = ::operator new(std::numeric_limits<std::size_t>::max() / 2);
    (void)p;
    _exit(101);
  }
  int status = 0;
  ASSERT_EQ(child, waitpid(child, &status, 0));
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(2, WEXITSTATUS(status));
  EXPECT_EQ("before\nvelmorjob: out of memory\n", dir.Read("out"));
}

}  // namespace
