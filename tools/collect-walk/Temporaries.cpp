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

// Whether `name` (no folder) is the name of a temporary of the collect file
// `collectName` (no folder) made by the process `pid`: the tail with 16
// lowercase hex digits, after the stem or a shortened stem.
bool IsTemporaryName(const std::string& name, const std::string& collectName, pid_t pid) {
  using vscr::kCollectEndingLength;
  using vscr::kTemporaryEnding;
  using vscr::kTemporaryEndingLength;
  using vscr::kTemporaryRandomDigits;
  const std::string head = "." + std::to_string(pid) + ".";
  const std::size_t tail = head.size() + kTemporaryRandomDigits + kTemporaryEndingLength;
  if (name.size() < tail || collectName.size() < kCollectEndingLength) return false;
  const std::size_t stem = name.size() - tail;
  const std::string random = name.substr(stem + head.size(), kTemporaryRandomDigits);
  return name.compare(stem, head.size(), head) == 0 &&
         random.find_first_not_of("0123456789abcdef") == std::string::npos &&
         name.compare(name.size() - kTemporaryEndingLength, kTemporaryEndingLength,
                      kTemporaryEnding) == 0 &&
         stem <= collectName.size() - kCollectEndingLength &&
         collectName.compare(0, stem, name, 0, stem) == 0;
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
    if (IsTemporaryName(entry->path().filename().string(), collectName, ::getpid()) &&
        ::lstat(path.c_str(), &info) == 0 && open.count({info.st_dev, info.st_ino}) != 0 &&
        ::unlink(path.c_str()) == 0) {
      removed.push_back(path);
    }
  }
  return removed;
}
