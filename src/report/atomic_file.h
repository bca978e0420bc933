#ifndef VELMORJOB_REPORT_ATOMIC_FILE_H_
#define VELMORJOB_REPORT_ATOMIC_FILE_H_

#include <string>
#include <string_view>

// Replaces the file at path by one holding content, so that whoever opens
// path, and whatever the machine does meanwhile (a crash, a power cut), finds
// either the old file whole or the new one whole, never a part.
//
// The content goes to a new hidden file in the same directory
// (".NAME.XXXXXX", which a collector reading "*.prom" passes over), is
// written out in full, given mode 0644 less the umask and synced to disk; the
// file is then renamed over path and the directory synced. A symbolic link
// at path is replaced, not followed; the new file is owned by the process.
//
// On failure reason tells which step failed and why, e.g. "cannot create a
// temporary file in /var/lib/x: No such file or directory", the new file is
// removed and the old one left as it was. Only when the last step, syncing
// the directory, fails is the new file already in place, and may not
// outlast a crash.
bool WriteFileAtomically(const std::string& path, std::string_view content, std::string& reason);

#endif  // VELMORJOB_REPORT_ATOMIC_FILE_H_
