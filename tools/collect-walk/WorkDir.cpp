#include "WorkDir.h"

#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <filesystem>
#include <system_error>

#include "VivodStubCollectReader.h"

namespace {

bool PathExists(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0;
}

bool IsDirectory(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// The longest file name that `dir`'s file system takes.
long NameMax(const std::string& dir) {
  const long limit = ::pathconf(dir.c_str(), _PC_NAME_MAX);
  return limit > 0 ? limit : NAME_MAX;
}

}  // namespace

std::string UnusableArgument(const WalkOptions& options) {
  if (options.prefix.find('/') != std::string::npos) {
    return "prefix '" + options.prefix + "' holds a '/', but the collect file " +
           "must sit in the work dir itself";
  }
  if (!PathExists(options.workDir)) return "work dir " + options.workDir + " does not exist";
  if (!IsDirectory(options.workDir)) {
    return "work dir " + options.workDir + " is not a directory";
  }
  if (IsDirectory(options.inputFile)) {
    return "INPUT " + options.inputFile + " is a directory, not a list of archived files";
  }
  return std::string();
}

std::string CollectFileProblem(const VivodStubCollectReader& reader) {
  const std::string& name = reader.m_dstFileName;
  const std::string& workDir = reader.m_args.workDir;
  if (name.empty()) return std::string();  // it failed before naming the file
  const long nameMax = NameMax(workDir);
  if (static_cast<long>(name.size()) > nameMax) {
    return "collect file name " + name + " is " + std::to_string(name.size()) +
           " bytes, longer than the " + std::to_string(nameMax) + " the file system of " +
           workDir + " allows; shorten the prefix";
  }
  // Initialize reuses a collect file that is there, so this one was not,
  // and the index service had to write it.
  if (::access(workDir.c_str(), W_OK | X_OK) != 0) {
    return "work dir " + workDir + " is not writable, so the collect file " + name +
           " cannot be written there";
  }
  return std::string();
}

DirectoryNames::DirectoryNames(const std::string& dir) {
  std::error_code error;
  for (std::filesystem::directory_iterator entry(dir, error), end; !error && entry != end;
       entry.increment(error)) {
    m_names.insert(entry->path().filename().string());
  }
}
