#include "PosixFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <utility>

namespace vscr {
namespace {

// statx rather than the stat family: stat and fstat are versioned
// GLIBC_2.33 in current glibc, which older host systems lack.
bool StatPath(int dirFd, const char* path, int flags, struct statx* info) {
  int result;
  do {
    result = ::statx(dirFd, path, flags, STATX_TYPE | STATX_INO, info);
  } while (result != 0 && errno == EINTR);
  return result == 0;
}

bool IsDirectoryMode(const struct statx& info) { return S_ISDIR(info.stx_mode); }

}  // namespace

PosixFile PosixFile::Open(const std::string& path, int flags) {
  int fd;
  do {
    fd = ::open(path.c_str(), flags | O_CLOEXEC, 0666);
  } while (fd < 0 && errno == EINTR);
  return PosixFile(fd);
}

PosixFile PosixFile::OpenForReading(const std::string& path) { return Open(path, O_RDONLY); }

PosixFile PosixFile::CreateTruncated(const std::string& path) {
  return Open(path, O_WRONLY | O_CREAT | O_TRUNC);
}

PosixFile PosixFile::OpenDirectory(const std::string& path) {
  return Open(path, O_RDONLY | O_DIRECTORY);
}

PosixFile::~PosixFile() {
  if (is_open()) ::close(m_fd);
}

bool PosixFile::IsDirectory() const {
  struct statx info {};
  return StatPath(m_fd, "", AT_EMPTY_PATH, &info) && IsDirectoryMode(info);
}

PosixFile::Identity PosixFile::CompareWith(const std::string& path) const {
  struct statx mine {};
  struct statx theirs {};
  if (!StatPath(m_fd, "", AT_EMPTY_PATH, &mine)) return Identity::kUnknown;
  if (!StatPath(AT_FDCWD, path.c_str(), 0, &theirs)) {
    return errno == ENOENT || errno == ENOTDIR ? Identity::kDifferent : Identity::kUnknown;
  }
  const bool same = mine.stx_dev_major == theirs.stx_dev_major &&
                    mine.stx_dev_minor == theirs.stx_dev_minor && mine.stx_ino == theirs.stx_ino;
  return same ? Identity::kSame : Identity::kDifferent;
}

long PosixFile::Read(char* data, std::size_t size) {
  ssize_t n;
  do {
    n = ::read(m_fd, data, size);
  } while (n < 0 && errno == EINTR);
  return static_cast<long>(n);
}

bool PosixFile::WriteAll(const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(m_fd, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

bool PosixFile::Sync() {
  int result;
  do {
    result = ::fsync(m_fd);
  } while (result != 0 && errno == EINTR);
  return result == 0;
}

bool PosixFile::Close() {
  // Linux releases the descriptor even when close reports an error, so it
  // is never closed twice, nor retried. EINTR only says that a wait inside
  // close was cut short; the data written stays in the page cache, so it
  // is no failure. Any other error means data may be lost.
  const int result = ::close(std::exchange(m_fd, -1));
  return result == 0 || errno == EINTR;
}

bool PathExists(const std::string& path) {
  int result;
  do {
    result = ::access(path.c_str(), F_OK);
  } while (result != 0 && errno == EINTR);
  return result == 0;
}

bool PathIsDirectory(const std::string& path) {
  struct statx info {};
  return StatPath(AT_FDCWD, path.c_str(), 0, &info) && IsDirectoryMode(info);
}

bool RenamePath(const std::string& from, const std::string& to) {
  int result;
  do {
    result = std::rename(from.c_str(), to.c_str());
  } while (result != 0 && errno == EINTR);
  return result == 0;
}

void RemovePath(const std::string& path) { ::unlink(path.c_str()); }

}  // namespace vscr
