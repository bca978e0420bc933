#ifndef VELMORJOB_JOB_READ_JOB_H_
#define VELMORJOB_JOB_READ_JOB_H_

// Reads the rest of the requested job's section from the open configuration
// file, given the line counter of its header, and runs its steps once the
// whole section has been read without error. Returns the line counter after
// the last read. Sets jobend when the section was read to its end; after a
// bad line (reported) or a read error (left to the caller) it does not, and
// nothing runs.
long ReadJob(long counter);

#endif  // VELMORJOB_JOB_READ_JOB_H_
