// Temporary directories, whole-file reads and writes and standard error
// sent to a file, for the tests, the fuzz targets and the benchmarks alike.
// Failures throw std::runtime_error: a test reports it, and a fuzz target or
// benchmark stops with it.
#ifndef TESTS_SUPPORT_TESTFILES_H_
#define TESTS_SUPPORT_TESTFILES_H_

#include <cstddef>
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

// A directory for the whole process, made on first use and removed with
// everything in it when the process exits.
const TempDir& ProcessTempDir();

void WriteFile(const std::string& path, const std::string& bytes);
// Files too large to build in memory first (which would swell a process
// before it forks a measured child) are built piece by piece: `pattern`
// repeated and cut to `length` bytes.
void AppendFile(const std::string& path, const std::string& bytes);
void AppendRepeated(const std::string& path, const std::string& pattern, std::size_t length);
// The bytes of the file at `path`; empty when it cannot be read.
std::string ReadFile(const std::string& path);
bool FileExists(const std::string& path);
// The lines of `text` without their line feeds; a last line without one
// counts too.
std::vector<std::string> Lines(const std::string& text);
// The names in the directory `dir`, without "." and "..", sorted.
std::vector<std::string> SortedEntries(const std::string& dir);

// Sends this process's standard error to the file at `path` (appending)
// for the object's lifetime; a failure to do so throws std::runtime_error.
class StandardErrorToFile {
 public:
  explicit StandardErrorToFile(const std::string& path);
  ~StandardErrorToFile();
  StandardErrorToFile(const StandardErrorToFile&) = delete;
  StandardErrorToFile& operator=(const StandardErrorToFile&) = delete;

 private:
  int m_saved;  // the standard error to restore
};

#endif  // TESTS_SUPPORT_TESTFILES_H_
