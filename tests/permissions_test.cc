#include "check/permissions.h"

#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

#include "temp_dir.h"

namespace {

TEST(PermissionsTest, OthersCanChangeWhatTheyCanWriteOrOwn) {
  const uid_t kMe = 1000;
  const uid_t kOther = 1001;
  const struct {
    const char* what;
    mode_t mode;
    uid_t owner;
    uid_t user;
    bool writable_by_others;
    bool foreign_owner;
  } cases[] = {
      {"file of the user's, 0644", S_IFREG | 0644, kMe, kMe, false, false},
      {"program of the user's, 0755", S_IFREG | 0755, kMe, kMe, false, false},
      {"file writable by its owner alone, 0600", S_IFREG | 0600, kMe, kMe, false, false},
      {"group-writable file", S_IFREG | 0664, kMe, kMe, true, false},
      {"group-writable and nothing else", S_IFREG | 0020, kMe, kMe, true, false},
      {"world-writable file", S_IFREG | 0646, kMe, kMe, true, false},
      // Set-id and sticky bits give no one the right to write.
      {"set-user-id program", S_IFREG | 04755, kMe, kMe, false, false},
      {"set-group-id program", S_IFREG | 02755, kMe, kMe, false, false},
      {"directory 0755", S_IFDIR | 0755, kMe, kMe, false, false},
      {"group-writable directory", S_IFDIR | 0775, kMe, kMe, true, false},
      {"world-writable sticky directory", S_IFDIR | 01777, kMe, kMe, true, false},
      {"sticky directory writable by its owner alone", S_IFDIR | 01755, kMe, kMe, false, false},
      {"world-writable named pipe", S_IFIFO | 0666, kMe, kMe, true, false},
      {"character device", S_IFCHR | 0666, 0, kMe, false, false},
      {"block device", S_IFBLK | 0660, kOther, kMe, false, false},
      {"file of root's", S_IFREG | 0644, 0, kMe, false, false},
      {"file of another user's", S_IFREG | 0644, kOther, kMe, false, true},
      {"file of a user's, to root", S_IFREG | 0644, kMe, 0, false, true},
      {"file of root's, to root", S_IFREG | 0644, 0, 0, false, false},
      {"writable file of another user's", S_IFREG | 0666, kOther, kMe, true, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const TFileRisks risks = FileRisks(c.mode, c.owner, c.user);
    EXPECT_EQ(c.writable_by_others, risks.writable_by_others);
    EXPECT_EQ(c.foreign_owner, risks.foreign_owner);
  }
}

TEST(PermissionsTest, SaysWhatOthersCanDo) {
  std::string out;
  WarnWritableByOthers(out);
  EXPECT_EQ("writable by others: anyone who can write it can run commands as you", out);
  out.clear();
  WarnForeignOwner(out, 1001);
  EXPECT_EQ("owned by another user (uid 1001): that user can run commands as you", out);
}

TEST(PermissionsTest, LooksAtTheFileALinkNames) {
  const TTempDir dir;
  const std::string program = dir.Write("program", "#!/bin/sh\n", true);
  const std::string open = dir.Write("open", "#!/bin/sh\n", true);
  ASSERT_EQ(0, chmod(open.c_str(), 0777));
  ASSERT_EQ(0, symlink("program", dir.File("link").c_str()));
  ASSERT_EQ(0, symlink("open", dir.File("link-to-open").c_str()));
  ASSERT_EQ(0, symlink("absent", dir.File("dangling").c_str()));
  const std::vector<std::string> writable = {
      "writable by others: anyone who can write it can run commands as you"};
  EXPECT_EQ(std::vector<std::string>(), FileWarnings(program.c_str()));
  EXPECT_EQ(writable, FileWarnings(open.c_str()));
  // A link's own mode, 0777 everywhere, says nothing of what it names.
  EXPECT_EQ(std::vector<std::string>(), FileWarnings(dir.File("link").c_str()));
  EXPECT_EQ(writable, FileWarnings(dir.File("link-to-open").c_str()));
  EXPECT_EQ(std::vector<std::string>(), FileWarnings(dir.File("dangling").c_str()));
  EXPECT_EQ(std::vector<std::string>(), FileWarnings(dir.File("absent").c_str()));
  ASSERT_EQ(0, chmod(dir.path().c_str(), 01777));
  EXPECT_EQ(writable, FileWarnings(dir.path().c_str()));
}

}  // namespace
