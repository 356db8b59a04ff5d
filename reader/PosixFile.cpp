#include "PosixFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <utility>

namespace vscr {
namespace {

// Makes `call` again for as long as it fails with EINTR, which says only
// that a signal came first. errno is cleared before each try, so that a
// call which fails without setting it is not taken for interrupted.
template <typename Call>
auto RetryOnInterrupt(Call call) -> decltype(call()) {
  decltype(call()) result;
  do {
    errno = 0;
    result = call();
  } while (result == -1 && errno == EINTR);
  return result;
}

// statx rather than the stat family: stat and fstat are versioned
// GLIBC_2.33 in current glibc, which older host systems lack.
bool StatPath(int dirFd, const char* path, int flags, struct statx* info) {
  return RetryOnInterrupt([&] {
           return ::statx(dirFd, path, flags, STATX_TYPE | STATX_INO, info);
         }) == 0;
}

bool IsDirectoryMode(const struct statx& info) { return S_ISDIR(info.stx_mode); }

}  // namespace

PosixFile PosixFile::Open(const std::string& path, int flags) {
  return PosixFile(RetryOnInterrupt([&] { return ::open(path.c_str(), flags | O_CLOEXEC, 0666); }));
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
  return static_cast<long>(RetryOnInterrupt([&] { return ::read(m_fd, data, size); }));
}

bool PosixFile::WriteAll(const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t n = RetryOnInterrupt([&] { return ::write(m_fd, data, size); });
    if (n <= 0) return false;
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

bool PosixFile::Sync() {
  return RetryOnInterrupt([&] { return ::fsync(m_fd); }) == 0;
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
  return RetryOnInterrupt([&] { return ::access(path.c_str(), F_OK); }) == 0;
}

bool PathIsDirectory(const std::string& path) {
  struct statx info {};
  return StatPath(AT_FDCWD, path.c_str(), 0, &info) && IsDirectoryMode(info);
}

bool RenamePath(const std::string& from, const std::string& to) {
  return RetryOnInterrupt([&] { return std::rename(from.c_str(), to.c_str()); }) == 0;
}

void RemovePath(const std::string& path) {
  RetryOnInterrupt([&] { return ::unlink(path.c_str()); });
}

}  // namespace vscr
