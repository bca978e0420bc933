#ifndef VELMORJOB_CORE_SERVER_H_
#define VELMORJOB_CORE_SERVER_H_

#include <cstddef>
#include <memory>
#include <string>

// The longest option text that one step may have.
constexpr std::size_t kMaxParams = 2047;

// One step of the requested job, and a node of the job's step list.
struct TServer {
  TServer() = default;
  TServer(const TServer&) = delete;
  TServer& operator=(const TServer&) = delete;
  // Releases the rest of the list one node at a time, so that a list of any
  // length is released without recursion.
  ~TServer();

  std::string name;     // the step kind: "Index" or "Runner"
  std::string params;   // options as written: " --opt=value" each, at most kMaxParams
  std::string program;  // the step's program, run from the current directory
  std::unique_ptr<TServer> next;
};

#endif  // VELMORJOB_CORE_SERVER_H_
