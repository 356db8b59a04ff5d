// vscr-walk FILE: the GetItem loop over a collect file, as a host runs it.
// Prints the file name of every record to standard output and a summary
// to standard error.
#include <cstdio>
#include <string>

#include "CollectFileReader.h"
#include "NameWriter.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: vscr-walk COLLECT_FILE\n");
    return 2;
  }
  bench::CollectFileReader file(argv[1]);
  VivodStubCollectReader* reader = file.reader();
  if (reader == nullptr) {
    std::fprintf(stderr, "vscr-walk: %s\n", file.error().c_str());
    return 1;
  }
  bench::NameWriter out;
  std::string name;
  std::string line;
  unsigned long records = 0;
  unsigned long skipped = 0;
  for (int result; (result = reader->GetItem(name, line)) != 0;) {
    if (result == 1) {
      ++records;
      out.Add(name);
    } else {
      ++skipped;
    }
  }
  out.Flush();
  std::fprintf(stderr, "%lu records, %lu skipped\n", records, skipped);
  return 0;
}
