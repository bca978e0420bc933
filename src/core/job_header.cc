#include "core/job_header.h"

#include <cstring>

namespace {
constexpr char kJobPrefix[] = "[Job ";
constexpr std::size_t kJobPrefixLength = sizeof(kJobPrefix) - 1;
}  // namespace

bool StartsJobHeader(const char* line) {
  return std::strncmp(line, kJobPrefix, kJobPrefixLength) == 0;
}

TJobHeader ParseJobHeader(std::string_view line) {
  TJobHeader header;
  if (line.substr(0, kJobPrefixLength) != kJobPrefix) return header;
  const std::string_view name = line.substr(kJobPrefixLength);
  const std::size_t close = name.find(']');
  if (close == std::string_view::npos || close == 0) {
    header.kind = THeaderKind::kMalformed;
    return header;
  }
  header.kind = THeaderKind::kJob;
  header.name = name.substr(0, close);
  return header;
}
