// A file descriptor owned for the length of one operation, and the few path
// operations the reader needs. Used where file streams do not tell enough:
// the exact read or write error, whether a path is a directory, whether two
// paths are the same file, and durable publishing through fsync and rename
// under a random name that nothing else holds.
//
// Every call that the kernel may interrupt with EINTR is retried.
#ifndef READER_POSIXFILE_H_
#define READER_POSIXFILE_H_

#include <cstddef>
#include <fstream>
#include <string>

namespace vscr {

class PosixFile {
 public:
  // Opens `path` read-only. Check is_open().
  static PosixFile OpenForReading(const std::string& path);
  // Creates `path` or cuts it to length zero, write-only. Check is_open().
  static PosixFile CreateTruncated(const std::string& path);
  // Opens the directory `path` so that it can be synced. Check is_open().
  static PosixFile OpenDirectory(const std::string& path);

  // Neither copied nor moved: the factories above hand a new object straight
  // to the caller, and each object owns its descriptor for one operation.
  PosixFile(const PosixFile&) = delete;
  PosixFile& operator=(const PosixFile&) = delete;
  // Closes the descriptor if Close() was not called; errors are lost then.
  ~PosixFile();

  bool is_open() const { return m_fd >= 0; }
  bool IsDirectory() const;
  // Whether `path` names this very file (same device and inode). Nothing
  // at `path` is a different file; kUnknown when this file or what is at
  // `path` cannot be examined.
  enum class Identity { kSame, kDifferent, kUnknown };
  Identity CompareWith(const std::string& path) const;

  // Reads up to `size` bytes. Returns the count read, 0 at the end of the
  // file, -1 on an error.
  long Read(char* data, std::size_t size);
  // Writes all `size` bytes; false on any error.
  bool WriteAll(const char* data, std::size_t size);
  // Flushes the file's data to the storage device; false on an error.
  bool Sync();
  // Closes the descriptor; false when closing reports an error other than
  // an interruption, which loses nothing.
  bool Close();

 private:
  explicit PosixFile(int fd) : m_fd(fd) {}
  static PosixFile Open(const std::string& path, int flags);

  int m_fd = -1;
};

// Opens the closed file stream buffer `buffer` on the file at `path` for
// reading, in binary mode, through a descriptor that is close-on-exec from
// the moment it exists: a file stream opens without O_CLOEXEC, and a mark
// set after the open would leave a window in which a child that another
// thread of the host starts inherits the file. False, with nothing opened,
// when the file cannot be opened or `buffer` is open already. An exception
// (std::bad_alloc for the stream's buffer) leaves no file open.
bool OpenCloseOnExec(std::filebuf& buffer, const std::string& path);

// True when the operating system reports that something exists at `path`.
bool PathExists(const std::string& path);
// True when `path` names a directory.
bool PathIsDirectory(const std::string& path);
// Renames `from` onto `to`, replacing `to` atomically; false on an error.
bool RenamePath(const std::string& from, const std::string& to);
// Removes the file `path`, if there is one.
void RemovePath(const std::string& path);

// What stands at `path` itself; a symbolic link there is not followed, so
// it counts as taken even when it leads nowhere.
enum class Occupancy { kFree, kTaken, kUnknown };
Occupancy OccupancyOf(const std::string& path);

// The longest file name, in bytes, that the directory `path` takes; 255 when
// its file system does not say.
std::size_t NameMaxOf(const std::string& directory);

// Fills `data` with `size` (at most 256) random bytes from the kernel:
// getrandom, or /dev/urandom where getrandom is missing or refused. False
// when neither gives them.
bool FillRandom(unsigned char* data, std::size_t size);

// Flushes the entries of the directory `path` (a rename into it, say) to
// the storage device. kNotReadable when the directory may not be opened
// for reading (EACCES, EPERM), as a drop-box directory may not.
enum class DirectorySync { kSynced, kNotReadable, kFailed };
DirectorySync SyncDirectory(const std::string& path);

}  // namespace vscr

#endif  // READER_POSIXFILE_H_
