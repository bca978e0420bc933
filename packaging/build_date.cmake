# Run at every build ("cmake -P"): writes VELMORJOB_OUTPUT, the header that
# gives the date of the build, kBuildDate (YYYY-MM-DD, in UTC). For builds
# that can be reproduced, the date is that of SOURCE_DATE_EPOCH (seconds
# since 1970) when it is set for the build, else VELMORJOB_CONFIGURE_EPOCH,
# its value when the build tree was configured, and when neither is set the
# release date VELMORJOB_DATE. The header is left untouched when its text
# stays the same, so that nothing is rebuilt for it.

if(NOT "$ENV{SOURCE_DATE_EPOCH}" STREQUAL "")
  set(epoch "$ENV{SOURCE_DATE_EPOCH}")
else()
  set(epoch "${VELMORJOB_CONFIGURE_EPOCH}")
endif()
if(epoch STREQUAL "")
  set(date "${VELMORJOB_DATE}")
else()
  if(NOT epoch MATCHES "^[0-9]+$")
    message(FATAL_ERROR "SOURCE_DATE_EPOCH is \"${epoch}\", not a number of seconds")
  endif()
  # string(TIMESTAMP) tells the time of SOURCE_DATE_EPOCH when it is set.
  set(ENV{SOURCE_DATE_EPOCH} "${epoch}")
  string(TIMESTAMP date "%Y-%m-%d" UTC)
endif()
if(NOT date MATCHES "^[0-9][0-9][0-9][0-9]-[0-9][0-9]-[0-9][0-9]$")
  message(FATAL_ERROR "the date of the build \"${date}\" is not YYYY-MM-DD")
endif()

set(text "// Generated at each build by packaging/build_date.cmake.
#ifndef VELMORJOB_APP_BUILD_DATE_H_
#define VELMORJOB_APP_BUILD_DATE_H_

constexpr char kBuildDate[] = \"${date}\";

#endif  // VELMORJOB_APP_BUILD_DATE_H_
")
set(old "")
if(EXISTS "${VELMORJOB_OUTPUT}")
  file(READ "${VELMORJOB_OUTPUT}" old)
endif()
if(NOT old STREQUAL text)
  file(WRITE "${VELMORJOB_OUTPUT}" "${text}")
endif()
