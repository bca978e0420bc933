#ifndef VELMORJOB_REPORT_FILE_TARGET_H_
#define VELMORJOB_REPORT_FILE_TARGET_H_

#include <string>
#include <sys/stat.h>

// What is at the path of a file a run writes (--report=FILE,
// --metrics=FILE), and so how it may be written without destroying what is
// there.

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
  // kReplace: the file to replace, at the end of the chain of symbolic links
  // that starts at the path; the links themselves stay. kInPlace: the path as
  // given, opened through its links.
  std::string path;
  // Whether a file is there now, and its status (through the links).
  bool exists = false;
  struct stat status = {};
  // kInPlace: a regular file, written at its end.
  bool append = false;
  // Whether the path itself is a symbolic link.
  bool linked = false;
};

// Says what the path leads to, for a reason: "it is a FIFO" or, through a
// link, "it is a symbolic link to a FIFO".
std::string TargetIs(const TFileTarget& target, const std::string& what);

// Finds out what is at path, following symbolic links to the end of their
// chain. Returns false, with reason saying what it is ("it is a directory",
// "it is a symbolic link to a socket", "it is a loop of symbolic links"),
// when it is nothing velmorjob may write: a directory, a socket, a block
// device. A path whose directory cannot be reached counts as missing: the
// attempt to create the file there tells why.
bool FindFileTarget(const std::string& path, TFileTarget& target, std::string& reason);

#endif  // VELMORJOB_REPORT_FILE_TARGET_H_
