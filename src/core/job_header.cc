#include "core/job_header.h"

#include <cstring>

namespace {
constexpr char kJobPrefix[] = "[Job ";
constexpr std::size_t kJobPrefixLength = sizeof(kJobPrefix) - 1;
}  // namespace

bool StartsJobHeader(const char* line) {
  return std::strncmp(line, kJobPrefix, kJobPrefixLength) == 0;
}

TJobHeader ParseJobHeader(const char* line) {
  TJobHeader header;
  if (!StartsJobHeader(line)) return header;
  const char* name = line + kJobPrefixLength;
  const char* close = std::strchr(name, ']');
  if (close == nullptr || close == name) {
    header.kind = THeaderKind::kMalformed;
    return header;
  }
  header.kind = THeaderKind::kJob;
  header.name = std::string_view(name, static_cast<std::size_t>(close - name));
  return header;
}
