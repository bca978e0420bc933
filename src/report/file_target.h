#ifndef VELMORJOB_REPORT_FILE_TARGET_H_
#define VELMORJOB_REPORT_FILE_TARGET_H_

#include <string>

#include "report/path_walk.h"

// What is at the path of a file a run writes (--report=FILE,
// --metrics=FILE), and so how it may be written without destroying what is
// there. The path is walked once (see WalkPath: links of other users are
// refused), and what is found is handed to the writer as it is, so that
// nothing changes between deciding and writing.

enum class TTargetKind {
  // Missing, or a regular file: replaced whole by a new file.
  kReplace,
  // A character device or a FIFO (/dev/null, a terminal, a pipe to a
  // collector), or the regular file that is velmorjob's own standard output
  // or error (/dev/stdout when the output goes to a log): written in place,
  // never replaced or removed.
  kInPlace,
};

struct TFileTarget {
  TTargetKind kind = TTargetKind::kReplace;
  // The path as given.
  std::string path;
  // Where it leads: the directory and name of the file to replace or write
  // in place (at the end of the chain of links that starts at the path; the
  // links themselves stay), and what is there now.
  TResolvedPath at;
  // kInPlace: a regular file, written at its end.
  bool append = false;
  // When set, nothing can be written there, and writing fails with this
  // reason: "cannot create a temporary file in D: No such file or
  // directory", "cannot write D/: Is a directory".
  std::string failure;
};

// Says what the path leads to, for a reason: "it is a FIFO" or, through a
// link, "it is a symbolic link to a FIFO".
std::string TargetIs(const TFileTarget& target, const std::string& what);

// Finds out what is at path, following the links WalkPath follows to the
// end of their chain. Returns false, with reason saying what it is ("it is
// a directory", "it is a symbolic link to a socket", "it is a loop of
// symbolic links", "it is a symbolic link owned by user 1001"), when it is
// nothing velmorjob may write: a directory, a socket, a block device, or
// what another user's link leads to. A path whose directory cannot be
// reached counts as missing, with the failure the attempt to create the
// file there meets.
bool FindFileTarget(const std::string& path, TFileTarget& target, std::string& reason);

#endif  // VELMORJOB_REPORT_FILE_TARGET_H_
