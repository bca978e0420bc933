#include "history/history_file.h"

#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "sqlite_query.h"
#include "temp_dir.h"

namespace {

// A user that is neither root, nobody, nor the one the tests run as.
constexpr uid_t kOtherUser = 4243;

mode_t ModeOf(const std::string& path) {
  struct stat status = {};
  if (stat(path.c_str(), &status) != 0) return 0;
  return status.st_mode & 07777;
}

// Opens the history and says how it went: "ok" or the reason.
std::string Opened(const std::string& path, THistoryAccess access) {
  TDatabase db;
  std::string reason;
  return OpenHistory(path, access, db, reason) ? "ok" : reason;
}

// Sets the umask for the life of the object.
class TUmask {
 public:
  explicit TUmask(mode_t mask) : old_(umask(mask)) {}
  ~TUmask() { umask(old_); }

 private:
  mode_t old_;
};

TEST(HistoryFileTest, ANewFileIsTheOwnersAloneWhateverTheUmask) {
  for (const mode_t mask : {0000, 0022, 0077, 0277}) {
    TTempDir dir;
    {
      const TUmask set(mask);
      EXPECT_EQ("ok", Opened(dir.File("history"), THistoryAccess::kWrite));
    }
    EXPECT_EQ(0600u, ModeOf(dir.File("history"))) << "umask " << mask;
    EXPECT_EQ("1447710530|1|wal\n",
              Query(dir.File("history"),
                    "SELECT * FROM pragma_application_id, pragma_user_version, "
                    "pragma_journal_mode"));
    EXPECT_EQ("velmorjob_attempts\nvelmorjob_config_errors\nvelmorjob_runs\n",
              Query(dir.File("history"),
                    "SELECT name FROM sqlite_master WHERE type = 'table' ORDER BY name"));
  }
}

TEST(HistoryFileTest, AnEmptyFileIsGivenTheSchemaAndKeepsItsMode) {
  TTempDir dir;
  const std::string path = dir.Write("history", "");
  ASSERT_EQ(0, chmod(path.c_str(), 0640));
  EXPECT_EQ("ok", Opened(path, THistoryAccess::kWrite));
  EXPECT_EQ("1\n", Query(path, "PRAGMA user_version"));
  EXPECT_EQ(0640u, ModeOf(path));
}

TEST(HistoryFileTest, AMissingFileIsNotMadeToBeRead) {
  TTempDir dir;
  EXPECT_EQ("No such file or directory", Opened(dir.File("history"), THistoryAccess::kRead));
  EXPECT_FALSE(dir.Exists("history"));
}

// Each file that is no history of this program: the reason, and not a byte
// of it changed, nor a journal left beside it.
TEST(HistoryFileTest, WhatIsNoHistoryOfOursIsRefusedAndLeftAsItIs) {
  struct TCase {
    const char* name;
    const char* sql;  // run on a new database to make the file; null: bytes below
    const char* bytes;
    const char* reason;
  };
  const TCase cases[] = {
      {"garbage", nullptr, "velmorjob was here\n\x01\x02\x03 not a database at all\n",
       "file is not a database"},
      {"another program's tables", "CREATE TABLE notes (text TEXT); INSERT INTO notes VALUES (1)",
       nullptr, "it is a database of another program"},
      {"another program's id", "PRAGMA application_id = 7", nullptr,
       "it is a database of another program"},
      {"a later schema",
       "PRAGMA application_id = 1447710530; PRAGMA user_version = 2; CREATE TABLE later (x)",
       nullptr,
       "it was written by a later version of velmorjob (schema 2; this one reads up to 1)"},
      {"a table missing",
       "PRAGMA application_id = 1447710530; PRAGMA user_version = 1;"
       "CREATE TABLE velmorjob_runs (id INTEGER PRIMARY KEY);"
       "CREATE TABLE velmorjob_config_errors (run INTEGER)",
       nullptr, "it is damaged: table velmorjob_attempts is missing"},
  };
  for (const TCase& c : cases) {
    for (const THistoryAccess access : {THistoryAccess::kWrite, THistoryAccess::kRead}) {
      TTempDir dir;
      const std::string path = dir.File("history");
      if (c.sql != nullptr) {
        dir.Write("history", "");
        ASSERT_EQ("", Query(path, c.sql)) << c.name;
      } else {
        dir.Write("history", c.bytes);
      }
      const std::string before = dir.Read("history");
      EXPECT_EQ(c.reason, Opened(path, access)) << c.name;
      EXPECT_EQ(before, dir.Read("history")) << c.name;
      for (const char* beside : {"history-wal", "history-shm", "history-journal"}) {
        EXPECT_FALSE(dir.Exists(beside)) << c.name << ": " << beside;
      }
    }
  }
}

TEST(HistoryFileTest, WhatIsNoFileIsRefused) {
  TTempDir dir;
  ASSERT_EQ(0, mkdir(dir.File("directory").c_str(), 0700));
  ASSERT_EQ(0, mkfifo(dir.File("fifo").c_str(), 0600));
  ASSERT_EQ(0, symlink("fifo", dir.File("to-fifo").c_str()));
  EXPECT_EQ("it is a directory", Opened(dir.File("directory"), THistoryAccess::kWrite));
  EXPECT_EQ("it is a FIFO", Opened(dir.File("fifo"), THistoryAccess::kWrite));
  EXPECT_EQ("it is a symbolic link to a FIFO", Opened(dir.File("to-fifo"), THistoryAccess::kRead));
  EXPECT_EQ("No such file or directory",
            Opened(dir.File("missing/history"), THistoryAccess::kWrite));
}

TEST(HistoryFileTest, ALinkOfAnotherUserIsRefusedAndNothingIsMade) {
  if (geteuid() != 0) GTEST_SKIP() << "only root can give a link to another user";
  TTempDir dir;
  ASSERT_EQ(0, symlink("elsewhere", dir.File("history").c_str()));
  ASSERT_EQ(0, lchown(dir.File("history").c_str(), kOtherUser, static_cast<gid_t>(-1)));
  EXPECT_EQ("it is a symbolic link owned by user 4243",
            Opened(dir.File("history"), THistoryAccess::kWrite));
  EXPECT_FALSE(dir.Exists("elsewhere"));
  // A link of the user's own is followed, and the file made where it leads.
  ASSERT_EQ(0, symlink("mine", dir.File("own-link").c_str()));
  EXPECT_EQ("ok", Opened(dir.File("own-link"), THistoryAccess::kWrite));
  EXPECT_EQ("1\n", Query(dir.File("mine"), "PRAGMA user_version"));
}

// The steps of a later program, as it would bring a file of this one up to
// its own version.
const THistoryMigration kLater[] = {
    {1, "CREATE TABLE t (a)"},
    {2, "ALTER TABLE t ADD COLUMN b DEFAULT 'new'"},
    {3, "CREATE TABLE u (x); SELECT no_such_function()"},
    {0, nullptr},
};

TEST(HistoryFileTest, AnEarlierFileIsUpgradedStepByStepKeepingItsRows) {
  TTempDir dir;
  const std::string path = dir.Write("history", "");
  ASSERT_EQ("", Query(path,
                      "CREATE TABLE t (a); INSERT INTO t VALUES ('kept');"
                      "PRAGMA user_version = 1"));
  TDatabase db;
  ASSERT_TRUE(db.Open(path, SQLITE_OPEN_READWRITE, 1000));
  // Step 3 fails: the file stays at 2, with nothing of step 3 in it.
  EXPECT_FALSE(UpgradeHistory(db, kLater));
  db.Close();
  EXPECT_EQ("2\n", Query(path, "PRAGMA user_version"));
  EXPECT_EQ("kept|new\n", Query(path, "SELECT a, b FROM t"));
  EXPECT_EQ("", Query(path, "SELECT name FROM sqlite_master WHERE name = 'u'"));
}

TEST(HistoryFileTest, TheWriteAheadLogIsLeftOutOnANetworkFileSystem) {
  EXPECT_FALSE(WriteAheadLogWorksOn(0x6969));      // NFS
  EXPECT_FALSE(WriteAheadLogWorksOn(0xFF534D42));  // CIFS
  EXPECT_TRUE(WriteAheadLogWorksOn(0xEF53));       // ext4
  EXPECT_TRUE(WriteAheadLogWorksOn(0x01021994));   // tmpfs
}

}  // namespace
