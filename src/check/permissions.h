#ifndef VELMORJOB_CHECK_PERMISSIONS_H_
#define VELMORJOB_CHECK_PERMISSIONS_H_

#include <string>
#include <sys/types.h>
#include <vector>

// What --check says of the files a run trusts: the configuration file, the
// working directory and the steps' programs. Whoever can change one of them
// can make a run execute commands of their choosing as the user who runs it.

// What lets someone other than `user` change a file or directory of this
// mode (type bits included) and owner.
struct TFileRisks {
  bool writable_by_others = false;  // group- or world-writable
  bool foreign_owner = false;       // owned by a user who is neither `user` nor root
};

// Only the mode's permission bits count, not access control lists. A
// directory with the sticky bit counts like any other: others cannot
// replace the files it holds, but they can add a program that is missing.
// A device has no risks: what is read from it is not what was written to it.
TFileRisks FileRisks(mode_t mode, uid_t owner, uid_t user);

// The warnings' texts, for "PATH: warning: TEXT".
void WarnWritableByOthers(std::string& out);
void WarnForeignOwner(std::string& out, uid_t owner);

// The warnings for the file or directory that path names, following
// symbolic links, to the effective user: the one of writing first, then the
// one of the owner. None when it cannot be looked at (when it does not
// exist, say): a run has nothing there to trust.
std::vector<std::string> FileWarnings(const char* path);

#endif  // VELMORJOB_CHECK_PERMISSIONS_H_
