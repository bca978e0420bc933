#ifndef VELMORJOB_REPORT_ATOMIC_FILE_H_
#define VELMORJOB_REPORT_ATOMIC_FILE_H_

#include <chrono>
#include <string>
#include <string_view>
#include <sys/types.h>

#include "core/descriptor.h"
#include "report/file_target.h"

// Writes a file a run leaves behind (the report, the metrics) without
// destroying what is at its path, in two phases, so that a caller writing
// several files can find out that all of them can be written before any of
// them changes.
//
// What is at the path decides how (see FindFileTarget, which walks the path
// once: links of other users are refused, and the file is then reached
// only through the descriptor of its directory that the walk gives):
// - missing, or a regular file: replaced atomically, so that whoever opens
//   the path, and whatever the machine does meanwhile (a crash, a power cut),
//   finds either the old file whole or the new one whole, never a part. A
//   symbolic link is followed to the end of its chain; the file there is
//   replaced in its own directory and the links stay.
// - a character device or a FIFO, or velmorjob's own standard output or
//   error: written in place, never replaced or removed.
// - anything else (a directory, a socket, a block device): not touched.
//
// Stage does all that can fail before anything is visible at the path. For
// a file to replace: it removes temporary files of this path left by a run
// killed mid-write (".NAME.XXXXXX" beside the file, regular, owned by the
// process's user and older than a minute), creates a new hidden file
// ".NAME.XXXXXX" in the same directory (which a collector reading "*.prom"
// passes over) with O_EXCL | O_NOFOLLOW, writes the content to it, gives it
// its owner and mode and syncs it to disk. The
// mode is the old file's; where the process may, the old file's owner (as
// root) and group (when the user is in it) are kept too. A new file gets
// new_mode less the umask. For a file written in place: it opens it, without
// waiting for a FIFO's reader, and fails when there is none.
//
// Commit makes the staged content visible: it renames the new file over the
// old one and syncs the directory (renameat and fsync, through the same
// descriptor of the directory), or writes the content in place. A FIFO or
// device that takes nothing for in_place_wait fails the commit rather than
// hold the run.
//
// On failure reason tells what failed and why ("it is a directory", "cannot
// create a temporary file in /var/lib/x: No such file or directory"), and
// what was at the path is left as it was, with nothing left beside it. Only
// when the last step, syncing the directory, fails is the new file already
// in place, and may not outlast a crash; and content written in place may be
// part written.
//
// A staged file that is not committed is removed when the object goes, or
// when it is staged again.
class TStagedFile {
 public:
  static constexpr std::chrono::milliseconds kInPlaceWait{10000};

  TStagedFile() = default;
  ~TStagedFile();
  TStagedFile(const TStagedFile&) = delete;
  TStagedFile& operator=(const TStagedFile&) = delete;

  // Stages what FindFileTarget found, as it found it: the path is not
  // looked up again.
  bool Stage(TFileTarget target, std::string_view content, mode_t new_mode, std::string& reason);
  // Finds what is at path, then stages it.
  bool Stage(const std::string& path, std::string_view content, mode_t new_mode,
             std::string& reason);
  bool Commit(std::string& reason);

  // How long writing in place waits for a FIFO or device to take more.
  void SetInPlaceWait(std::chrono::milliseconds wait) { in_place_wait_ = wait; }

 private:
  void Discard();
  bool CommitInPlace(std::string& reason);

  std::string path_;            // as given, for messages
  TDescriptor directory_;       // of the file replaced
  std::string name_;            // its name in the directory
  std::string target_;          // the file replaced, as text, for messages
  std::string directory_text_;  // its directory, as text
  std::string temporary_;       // the staged new file's name, while there is one
  std::string temporary_text_;  // the same as text, for messages
  int fd_ = -1;                 // the file written in place, while open
  std::string content_;         // what is written in place
  std::chrono::milliseconds in_place_wait_ = kInPlaceWait;
};

// Stages and commits in one call.
bool WriteFileAtomically(TFileTarget target, std::string_view content, mode_t new_mode,
                         std::string& reason);
bool WriteFileAtomically(const std::string& path, std::string_view content, mode_t new_mode,
                         std::string& reason);

#endif  // VELMORJOB_REPORT_ATOMIC_FILE_H_
