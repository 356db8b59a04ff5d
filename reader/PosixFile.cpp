#include "PosixFile.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <utility>

namespace vscr {
namespace {

constexpr std::size_t kDefaultNameMax = 255;
constexpr char kRandomDevice[] = "/dev/urandom";

// Makes `call` again for as long as it fails with EINTR, which says only
// that a signal came first. errno is cleared before each try, so that a
// call which fails without setting it, as pathconf may, is not taken for
// interrupted.
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

// Takes `size` bytes from the kernel's random device file.
bool ReadRandomDevice(unsigned char* data, std::size_t size) {
  PosixFile device = PosixFile::OpenForReading(kRandomDevice);
  std::size_t done = 0;
  while (device.is_open() && done < size) {
    const long n = device.Read(reinterpret_cast<char*>(data) + done, size - done);
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return done == size;
}

#if !defined(__GLIBCXX__)
#error "OpenCloseOnExec hands a descriptor to libstdc++'s std::filebuf"
#endif
// libstdc++'s filebuf keeps its file and its state in protected members,
// which a derived class may name for any filebuf. Adopt does what
// filebuf::open does once its file is open, on a file made from `fd`.
struct FilebufAccess : std::filebuf {
  static bool Adopt(std::filebuf& buffer, int fd, std::ios::openmode mode) {
    if ((buffer.*&FilebufAccess::_M_file).sys_open(fd, mode) == nullptr) return false;
    try {
      (buffer.*&FilebufAccess::_M_allocate_internal_buffer)();
    } catch (...) {
      buffer.close();
      throw;
    }
    buffer.*&FilebufAccess::_M_mode = mode;
    buffer.*&FilebufAccess::_M_reading = false;
    buffer.*&FilebufAccess::_M_writing = false;
    (buffer.*&FilebufAccess::_M_set_buffer)(-1);
    buffer.*&FilebufAccess::_M_state_last = buffer.*&FilebufAccess::_M_state_beg;
    buffer.*&FilebufAccess::_M_state_cur = buffer.*&FilebufAccess::_M_state_beg;
    return true;
  }
};

}  // namespace

bool OpenCloseOnExec(std::filebuf& buffer, const std::string& path) {
  if (buffer.is_open()) return false;
  const int fd = RetryOnInterrupt([&] { return ::open(path.c_str(), O_RDONLY | O_CLOEXEC); });
  if (fd < 0) return false;
  // The file made from the descriptor owns it from here, and closes it.
  if (FilebufAccess::Adopt(buffer, fd, std::ios::in | std::ios::binary)) return true;
  ::close(fd);
  return false;
}

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

Occupancy OccupancyOf(const std::string& path) {
  struct statx info {};
  if (StatPath(AT_FDCWD, path.c_str(), AT_SYMLINK_NOFOLLOW, &info)) return Occupancy::kTaken;
  return errno == ENOENT ? Occupancy::kFree : Occupancy::kUnknown;
}

std::size_t NameMaxOf(const std::string& directory) {
  const long nameMax = RetryOnInterrupt([&] { return ::pathconf(directory.c_str(), _PC_NAME_MAX); });
  return nameMax > 0 ? static_cast<std::size_t>(nameMax) : kDefaultNameMax;
}

bool FillRandom(unsigned char* data, std::size_t size) {
  // Up to 256 bytes come whole once the kernel's pool is ready; getrandom
  // waits for that only early in boot.
  const ssize_t n = RetryOnInterrupt([&] { return ::getrandom(data, size, 0); });
  if (n >= 0 && static_cast<std::size_t>(n) == size) return true;
  return ReadRandomDevice(data, size);
}

DirectorySync SyncDirectory(const std::string& path) {
  PosixFile directory = PosixFile::OpenDirectory(path);
  if (!directory.is_open()) {
    return errno == EACCES || errno == EPERM ? DirectorySync::kNotReadable : DirectorySync::kFailed;
  }
  return directory.Sync() && directory.Close() ? DirectorySync::kSynced : DirectorySync::kFailed;
}

}  // namespace vscr
