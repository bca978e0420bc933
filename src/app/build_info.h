#ifndef VELMORJOB_APP_BUILD_INFO_H_
#define VELMORJOB_APP_BUILD_INFO_H_

#include <string>

// The line that --version prints after the banner, with its line end: the
// version and build number, the date of the build, the compiler that built
// the program and the target it was built for, as in
// "velmorjob 0.94 (build 2583), built 2026-12-10 with g++ 12.2 for
// x86_64-linux-gnu".
std::string BuildLine();

#endif  // VELMORJOB_APP_BUILD_INFO_H_
