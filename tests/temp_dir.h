#ifndef VELMORJOB_TESTS_TEMP_DIR_H_
#define VELMORJOB_TESTS_TEMP_DIR_H_

#include <string>

// A fresh directory under the build tree's test-tmp directory, removed with
// all it holds when the object goes. The name holds the test process's id:
// directories left behind by a process that no longer runs (one killed at
// its time limit, say) are removed when the next test process makes its
// first directory.
class TTempDir {
 public:
  TTempDir();
  ~TTempDir();
  TTempDir(const TTempDir&) = delete;
  TTempDir& operator=(const TTempDir&) = delete;

  const std::string& path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }

  // Writes content to the named file in the directory and returns its path.
  std::string Write(const std::string& name, const std::string& content,
                    bool executable = false) const;
  // The whole content of the named file, or "" when there is none.
  std::string Read(const std::string& name) const;
  bool Exists(const std::string& name) const;

 private:
  std::string path_;
};

#endif  // VELMORJOB_TESTS_TEMP_DIR_H_
