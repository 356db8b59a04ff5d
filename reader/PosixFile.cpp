#include "PosixFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

PosixFile PosixFile::OpenForReading(const std::string& path) {
  int fd;
  do {
    fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  return PosixFile(fd);
}

PosixFile PosixFile::CreateTruncated(const std::string& path) {
  int fd;
  do {
    fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  } while (fd < 0 && errno == EINTR);
  return PosixFile(fd);
}

PosixFile::PosixFile(PosixFile&& other) noexcept
    : m_fd(std::exchange(other.m_fd, -1)) {}

PosixFile& PosixFile::operator=(PosixFile&& other) noexcept {
  if (this != &other) {
    if (is_open()) ::close(m_fd);
    m_fd = std::exchange(other.m_fd, -1);
  }
  return *this;
}

PosixFile::~PosixFile() {
  if (is_open()) ::close(m_fd);
}

bool PosixFile::IsDirectory() const {
  struct stat info {};
  return ::fstat(m_fd, &info) == 0 && S_ISDIR(info.st_mode);
}

bool PosixFile::IsSameFileAs(const std::string& path) const {
  struct stat mine {};
  struct stat theirs {};
  return ::fstat(m_fd, &mine) == 0 && ::stat(path.c_str(), &theirs) == 0 &&
         mine.st_dev == theirs.st_dev && mine.st_ino == theirs.st_ino;
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

bool PosixFile::Close() {
  // Linux releases the descriptor even when close reports an error, so it
  // is never closed twice; the error still means data may be lost.
  const int result = ::close(std::exchange(m_fd, -1));
  return result == 0;
}

bool PathExists(const std::string& path) {
  return ::access(path.c_str(), F_OK) == 0;
}

bool PathIsDirectory(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}
