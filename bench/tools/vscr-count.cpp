// vscr-count FILE: prints CountLines of FILE, as `wc -l` prints its count.
#include <cstdio>

#include "VivodStubCollectReader.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: vscr-count FILE\n");
    return 2;
  }
  VivodStubCollectReader reader{VivodStubCollectReaderInitArgs()};
  std::printf("%lu\n", reader.CountLines(argv[1]));
  return 0;
}
