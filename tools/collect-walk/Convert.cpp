#include "Convert.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <iostream>
#include <string>

#include "Report.h"
#include "VivodStubCollectReader.h"

namespace {

// Closes its descriptor, whatever way the count ends.
class ReadOnlyFile {
 public:
  // Non-blocking, so that a pipe or a FIFO without a writer cannot hold the
  // program up; a regular file reads as usual.
  explicit ReadOnlyFile(const std::string& path)
      : m_fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC)) {}
  ~ReadOnlyFile() {
    if (m_fd >= 0) ::close(m_fd);
  }
  ReadOnlyFile(const ReadOnlyFile&) = delete;
  ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;

  int fd() const { return m_fd; }

 private:
  int m_fd;
};

// The line feeds in `fd`, read to its end; -1 when a read fails.
int64_t CountLineFeeds(int fd) {
  char block[64 * 1024];
  int64_t feeds = 0;
  for (;;) {
    const ssize_t n = ::read(fd, block, sizeof block);
    if (n == 0) return feeds;
    if (n < 0) return -1;
    for (ssize_t i = 0; i < n; ++i) feeds += block[i] == '\n' ? 1 : 0;
  }
}

// What the "paths written" line says after its colon. The library writes
// one path per line, so the lines of OUTPUT are the paths written. Only a
// regular file can be read back: a pipe would lose what it holds to us,
// and /dev/null gives nothing.
std::string PathsWritten(const std::string& outputFile) {
  const ReadOnlyFile output(outputFile);
  struct stat info {};
  if (output.fd() < 0 || ::fstat(output.fd(), &info) != 0) {
    return "not counted, OUTPUT cannot be read back";
  }
  if (!S_ISREG(info.st_mode)) return "not counted, OUTPUT is not a regular file";
  const int64_t lines = CountLineFeeds(output.fd());
  if (lines < 0) return "not counted, OUTPUT cannot be read back";
  return std::to_string(lines);
}

// When OUTPUT is the file our standard output goes to (/dev/stdout
// redirected to a file), the library wrote it through a descriptor of its
// own; without this, our next line would overwrite its first paths.
void MoveStdoutPastOutput(const std::string& outputFile) {
  struct stat out {};
  struct stat written {};
  if (::fstat(STDOUT_FILENO, &out) != 0 || !S_ISREG(out.st_mode)) return;
  if (::stat(outputFile.c_str(), &written) != 0) return;
  if (out.st_dev != written.st_dev || out.st_ino != written.st_ino) return;
  std::cout.flush();
  ::lseek(STDOUT_FILENO, 0, SEEK_END);
}

}  // namespace

int Convert(const ConvertOptions& options) {
  VivodStubCollectReader reader{VivodStubCollectReaderInitArgs{}};
  if (!reader.ProcessStubCollectFile(options.inputFile, options.outputFile,
                                     options.delimiter)) {
    return Failed("ProcessStubCollectFile", reader);
  }
  const std::string written = PathsWritten(options.outputFile);
  MoveStdoutPastOutput(options.outputFile);
  std::cout << "paths written: " << written << '\n';
  return kExitDone;
}
