// Temporary directories and whole-file reads and writes for tests.
#ifndef TESTS_TESTFILES_H_
#define TESTS_TESTFILES_H_

#include <string>
#include <vector>

// A fresh directory, removed with everything in it at destruction.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return m_path; }
  std::string File(const std::string& name) const { return m_path + "/" + name; }

 private:
  std::string m_path;
};

void WriteFile(const std::string& path, const std::string& bytes);
std::string ReadFile(const std::string& path);
bool FileExists(const std::string& path);
// The names in the directory `dir`, without "." and "..", sorted.
std::vector<std::string> SortedEntries(const std::string& dir);

#endif  // TESTS_TESTFILES_H_
