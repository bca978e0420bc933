#ifndef VELMORJOB_APP_ENTRY_H_
#define VELMORJOB_APP_ENTRY_H_

// The whole program: reads the command line, does what it asks and returns
// the exit status. May be called more than once in one process.
int Main(int argc, const char* const* argv);

#endif  // VELMORJOB_APP_ENTRY_H_
