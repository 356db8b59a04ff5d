// vscr-convert [--discard-log] INPUT OUTPUT DELIM: ProcessStubCollectFile,
// one call. The stand-in log writer writes its lines to standard error, or
// with --discard-log returns from each DebugLvl at once, so that a timing
// weighs the reader's own work.
#include <cstdio>
#include <cstring>

#include "VivodStubCollectReader.h"
#include "standins/EvDebugControl.h"

int main(int argc, char** argv) {
  const bool discard = argc > 1 && std::strcmp(argv[1], "--discard-log") == 0;
  argc -= discard ? 1 : 0;
  argv += discard ? 1 : 0;
  if (argc != 4 || std::strlen(argv[3]) != 1) {
    std::fprintf(stderr, "usage: vscr-convert [--discard-log] INPUT OUTPUT DELIM\n");
    return 2;
  }
  standin::DiscardDebugLines(discard);
  VivodStubCollectReader reader{VivodStubCollectReaderInitArgs()};
  if (!reader.ProcessStubCollectFile(argv[1], argv[2], argv[3][0])) {
    std::fprintf(stderr, "vscr-convert: %s\n", reader.m_lastError.c_str());
    return 1;
  }
  return 0;
}
