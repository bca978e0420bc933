#ifndef VELMORJOB_REPORT_PATH_WALK_H_
#define VELMORJOB_REPORT_PATH_WALK_H_

#include <string>
#include <sys/stat.h>

#include "core/descriptor.h"

// Finding where a file that a run writes goes (--report=FILE, --metrics=FILE,
// or any other file given by its path), so that no other user can choose it.
//
// A symbolic link met anywhere in resolving the path (the path itself, a
// directory on it, or the end of another link) is followed only when it is
// owned by the user the process runs as (its effective user) or by root. A
// link of any other user is refused: in a directory that user may write,
// their link could lead root to create or replace a file wherever it points.
// The links of /proc (/dev/stdout leads to /proc/self/fd/1) are the
// kernel's own, owned by the process's user or root; the kernel follows
// them, as their text need not be a path ("pipe:[1234]").
//
// The path is walked one name at a time. Each name is opened in the
// directory reached so far without following a link (O_PATH | O_NOFOLLOW),
// and what it is, whose link it is and what the link says are all read
// through that one descriptor: the directory the walk goes on in is the one
// it checked, whatever is renamed or replaced on the way. At most 40 links
// are followed, as the kernel does; more are taken for a loop.
//
// The walk ends with a descriptor of the directory that holds the last name,
// the name, and what is there. A writer then creates, replaces and syncs the
// file through that descriptor (openat with O_NOFOLLOW | O_EXCL, renameat,
// fsync): replacing a directory of the path with a link after the walk
// changes nothing.
//
// For a writer that opens files by their path only (a database library, say,
// that makes its journal beside the file), DescriptorPath() names the same
// place through the descriptor: "/proc/self/fd/N/NAME", good while the
// result lives. Such a writer should refuse a link at NAME itself when it
// opens it (SQLite: SQLITE_OPEN_NOFOLLOW), as the walk cannot stop one put
// there afterwards.
//
//   TResolvedPath where;
//   std::string reason;
//   if (!WalkPath(path, where, reason)) Refuse(path, reason);  // nothing touched
//   else if (where.unreachable != 0) Fail(path, where.unreachable);
//   else if (where.exists && !S_ISREG(where.status.st_mode)) Refuse(path, "not a file");
//   else Open(where.DescriptorPath());
struct TResolvedPath {
  // The directory that holds name, opened with O_PATH: it serves as the
  // directory of openat(), renameat(), unlinkat(), fstatat(); opening "."
  // in it gives a descriptor to read or sync it. Not valid when the
  // directory could not be reached (see unreachable).
  TDescriptor directory;
  // The last name: never a link, unless kernel_link. "." or ".." when the
  // path ends in one (then what is there is a directory).
  std::string name;
  // The path as text, each link followed replaced by its text, and the
  // directory part of it ("." for none): for messages only.
  std::string path;
  std::string directory_path;
  // The error (ENOENT, ENOTDIR, EACCES, ...) when a directory of the path
  // cannot be reached, or what is at name cannot be looked up: the file
  // cannot be made there, and exists is false. 0 otherwise.
  int unreachable = 0;
  // Whether something is at name, and its status (through a kernel link).
  bool exists = false;
  struct stat status = {};
  // Whether the last name of the path as given is a symbolic link (that was
  // followed).
  bool linked = false;
  // Whether name is a link of /proc that the kernel follows when it is
  // opened.
  bool kernel_link = false;

  // Opens what is at name with flags (O_CLOEXEC added) without following a
  // link, except a kernel link: -1 with errno on failure. Whether it is
  // what the walk found there is told by IsWhatWasFound.
  int Open(int flags) const;
  bool IsWhatWasFound(int fd) const;
  // "/proc/self/fd/N/NAME": the same file for a call that takes a path.
  std::string DescriptorPath() const;
};

// Walks path under the rules above. False, with reason, when a link stops
// it: "it is a symbolic link owned by user 1001", "it is a loop of symbolic
// links", "cannot read the symbolic link L: ...". Otherwise true, also when
// the directory cannot be reached (then unreachable says why), so that the
// attempt to write there can tell it as it would for any path.
bool WalkPath(const std::string& path, TResolvedPath& resolved, std::string& reason);

#endif  // VELMORJOB_REPORT_PATH_WALK_H_
