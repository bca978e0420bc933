#include "temp_dir.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

constexpr char kPrefix[] = "velmorjob-test-";

// Removes the directories of test processes that have ended.
void RemoveStale(const fs::path& root) {
  std::error_code error;
  for (const fs::directory_entry& entry : fs::directory_iterator(root, error)) {
    const std::string name = entry.path().filename().string();
    if (name.rfind(kPrefix, 0) != 0) continue;
    const long pid = std::strtol(name.c_str() + sizeof(kPrefix) - 1, nullptr, 10);
    if (pid <= 0 || pid == getpid()) continue;
    if (kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH) continue;
    std::error_code ignored;
    fs::remove_all(entry.path(), ignored);
  }
}

const fs::path& Root() {
  static const fs::path root = [] {
    const fs::path made(VELMORJOB_TEST_TMPDIR);
    fs::create_directories(made);
    RemoveStale(made);
    return made;
  }();
  return root;
}

}  // namespace

TTempDir::TTempDir() {
  std::string pattern = (Root() / (kPrefix + std::to_string(getpid()) + "-XXXXXX")).string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TTempDir::~TTempDir() {
  std::error_code ignored;
  fs::remove_all(path_, ignored);
}

std::string TTempDir::Write(const std::string& name, const std::string& content,
                            bool executable) const {
  const std::string file = File(name);
  {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out << content;
  }
  chmod(file.c_str(), executable ? 0755 : 0644);
  return file;
}

std::string TTempDir::Read(const std::string& name) const {
  std::ifstream in(File(name), std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

bool TTempDir::Exists(const std::string& name) const {
  return access(File(name).c_str(), F_OK) == 0;
}
