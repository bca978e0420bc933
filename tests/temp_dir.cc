#include "temp_dir.h"

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

TTempDir::TTempDir() {
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/velmorjob-test-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TTempDir::~TTempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
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
