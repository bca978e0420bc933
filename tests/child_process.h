#ifndef VELMORJOB_TESTS_CHILD_PROCESS_H_
#define VELMORJOB_TESTS_CHILD_PROCESS_H_

#include <functional>
#include <string>

// Runs act in a child process that works in the directory and is first
// prepared by prepare (to take another user's identity, say), so that the
// test process keeps its own; from the directory, another user needs no
// access to the directories above it. Returns what act returned, or ""
// when the child said nothing (it died, or could not be prepared).
std::string InChild(const std::string& directory, void (*prepare)(),
                    const std::function<std::string()>& act);

#endif  // VELMORJOB_TESTS_CHILD_PROCESS_H_
