// A file descriptor owned for the length of one operation. Used where the
// reader needs what file streams do not tell: the exact read or write error,
// whether a path is a directory, and whether two paths are the same file.
#ifndef READER_POSIXFILE_H_
#define READER_POSIXFILE_H_

#include <cstddef>
#include <string>

class PosixFile {
 public:
  // Opens `path` read-only. Check is_open().
  static PosixFile OpenForReading(const std::string& path);
  // Creates `path` or cuts it to length zero, write-only. Check is_open().
  static PosixFile CreateTruncated(const std::string& path);

  PosixFile() = default;
  PosixFile(PosixFile&& other) noexcept;
  PosixFile& operator=(PosixFile&& other) noexcept;
  PosixFile(const PosixFile&) = delete;
  PosixFile& operator=(const PosixFile&) = delete;
  // Closes the descriptor if Close() was not called; errors are lost then.
  ~PosixFile();

  bool is_open() const { return m_fd >= 0; }
  bool IsDirectory() const;
  // True when `path` names this very file (same device and inode).
  bool IsSameFileAs(const std::string& path) const;

  // Reads up to `size` bytes. Returns the count read, 0 at the end of the
  // file, -1 on an error. An interrupted read is retried.
  long Read(char* data, std::size_t size);
  // Writes all `size` bytes; false on any error.
  bool WriteAll(const char* data, std::size_t size);
  // Closes the descriptor; false when closing reports an error.
  bool Close();

 private:
  explicit PosixFile(int fd) : m_fd(fd) {}

  int m_fd = -1;
};

// True when the operating system reports that something exists at `path`.
bool PathExists(const std::string& path);
// True when `path` names a directory.
bool PathIsDirectory(const std::string& path);

#endif  // READER_POSIXFILE_H_
