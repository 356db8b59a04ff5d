// read-floor [--count] [--unaligned] [--block KIB] FILE: reads FILE in
// read calls of KIB KiB (default: the block size of CountLines) into a
// buffer aligned as CountLines aligns its own, and prints the bytes read,
// or with --count the lines, counted as CountLines counts them, with the
// library's own kernel. Without --count its CPU time is the copy out of the
// page cache that any line count must pay; with it, the plain loop that
// CountLines is timed against. --unaligned takes the buffer from new[] as
// it comes. bench/sweep.sh runs it over block sizes.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "ByteCount.h"

namespace {

int Usage() {
  std::fprintf(stderr, "usage: read-floor [--count] [--unaligned] [--block KIB] FILE\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  bool count = false;
  bool aligned = true;
  std::size_t blockSize = vscr::kCountBlockSize;
  int i = 1;
  for (; i + 1 < argc; ++i) {
    if (std::strcmp(argv[i], "--count") == 0) {
      count = true;
    } else if (std::strcmp(argv[i], "--unaligned") == 0) {
      aligned = false;
    } else if (std::strcmp(argv[i], "--block") == 0 && i + 2 < argc) {
      blockSize = std::strtoul(argv[++i], nullptr, 10) * 1024;
    } else {
      return Usage();
    }
  }
  if (i + 1 != argc || blockSize == 0) return Usage();
  const int fd = ::open(argv[i], O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    std::perror(argv[i]);
    return 1;
  }
  const vscr::ReadBuffer alignedBuffer(aligned ? blockSize : 0);
  const std::unique_ptr<char[]> plainBuffer(aligned ? nullptr : new char[blockSize]);
  char* const block = aligned ? alignedBuffer.data() : plainBuffer.get();
  unsigned long long total = 0;
  char last = '\n';
  for (ssize_t n; (n = ::read(fd, block, blockSize)) != 0;) {
    if (n < 0) {
      std::perror(argv[i]);
      return 1;
    }
    if (count) {
      total += vscr::CountByte(block, block + n, '\n');
      last = block[static_cast<std::size_t>(n) - 1];
    } else {
      total += static_cast<unsigned long long>(n);
    }
  }
  if (count && last != '\n') ++total;
  std::printf("%llu\n", total);
  return 0;
}
