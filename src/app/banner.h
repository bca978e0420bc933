#ifndef VELMORJOB_APP_BANNER_H_
#define VELMORJOB_APP_BANNER_H_

// Prints the start-up banner: version, build, build date and build system.
void PrintBanner();

// Prints the usage text shown when there are no arguments at all.
void PrintUsage();

// Prints the usage line and one line for each option.
void PrintHelp();

#endif  // VELMORJOB_APP_BANNER_H_
