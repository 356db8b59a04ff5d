// The temporaries of an interrupted lookup that this process made.
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <utility>

#include "CollectFileNames.h"
#include "CollectWalk.h"

namespace {

namespace fs = std::filesystem;

using FileId = std::pair<dev_t, ino_t>;

// The files that this process's descriptors are open on. Read through the
// descriptors themselves, which needs no /proc.
std::set<FileId> OpenFiles() {
  rlimit limit{};
  const rlim_t most = ::getrlimit(RLIMIT_NOFILE, &limit) == 0 ? limit.rlim_cur : 1024;
  std::set<FileId> files;
  struct stat info {};
  for (int fd = 0; static_cast<rlim_t>(fd) < std::min<rlim_t>(most, rlim_t{1} << 20); ++fd) {
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) files.emplace(info.st_dev, info.st_ino);
  }
  return files;
}

}  // namespace

std::vector<std::string> RemoveOwnTemporaries(const std::string& collectPath) {
  const fs::path collect(collectPath);
  const std::string collectName = collect.filename().string();
  const std::set<FileId> open = OpenFiles();
  std::vector<std::string> removed;
  std::error_code error;
  struct stat info {};
  for (fs::directory_iterator entry(collect.parent_path().empty() ? "." : collect.parent_path(), error), end;
       !error && entry != end; entry.increment(error)) {
    const std::string path = entry->path().string();
    if (vscr::IsTemporaryName(entry->path().filename().string(), collectName, ::getpid()) &&
        ::lstat(path.c_str(), &info) == 0 && open.count({info.st_dev, info.st_ino}) != 0 &&
        ::unlink(path.c_str()) == 0) {
      removed.push_back(path);
    }
  }
  return removed;
}
