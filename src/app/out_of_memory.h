#ifndef VELMORJOB_APP_OUT_OF_MEMORY_H_
#define VELMORJOB_APP_OUT_OF_MEMORY_H_

// Makes a failed allocation end the process with a message on standard
// output and the configuration-error status, instead of a crash.
void InstallOutOfMemoryHandler();

#endif  // VELMORJOB_APP_OUT_OF_MEMORY_H_
