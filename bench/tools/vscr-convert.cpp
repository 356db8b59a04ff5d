// vscr-convert INPUT OUTPUT DELIM: ProcessStubCollectFile, one call. The
// stand-in log writer writes its lines to standard error.
#include <cstdio>
#include <cstring>

#include "VivodStubCollectReader.h"

int main(int argc, char** argv) {
  if (argc != 4 || std::strlen(argv[3]) != 1) {
    std::fprintf(stderr, "usage: vscr-convert INPUT OUTPUT DELIM\n");
    return 2;
  }
  VivodStubCollectReader reader{VivodStubCollectReaderInitArgs()};
  if (!reader.ProcessStubCollectFile(argv[1], argv[2], argv[3][0])) {
    std::fprintf(stderr, "vscr-convert: %s\n", reader.m_lastError.c_str());
    return 1;
  }
  return 0;
}
