// read-floor FILE: reads FILE in 128 KiB read calls, the block size of
// CountLines, and counts nothing. Its CPU time is the copy out of the page
// cache that any line count must pay, the floor that CountLines is timed
// against.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <memory>

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: read-floor FILE\n");
    return 2;
  }
  const int fd = ::open(argv[1], O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    std::perror(argv[1]);
    return 1;
  }
  constexpr std::size_t kBlockSize = std::size_t{128} * 1024;
  const std::unique_ptr<char[]> block(new char[kBlockSize]);
  unsigned long long bytes = 0;
  for (ssize_t n; (n = ::read(fd, block.get(), kBlockSize)) != 0;) {
    if (n < 0) {
      std::perror(argv[1]);
      return 1;
    }
    bytes += static_cast<unsigned long long>(n);
  }
  std::printf("%llu\n", bytes);
  return 0;
}
