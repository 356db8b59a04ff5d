// vscr-walk FILE: the GetItem loop over a collect file, as a host runs it.
// Prints the file name of every record to standard output and a summary
// to standard error.
#include <unistd.h>

#include <cstdio>
#include <string>

#include "CollectFileReader.h"

namespace {

constexpr std::size_t kOutBlock = 64 * 1024;

void WriteAll(const std::string& text) {
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = ::write(STDOUT_FILENO, text.data() + done, text.size() - done);
    if (n <= 0) return;
    done += static_cast<std::size_t>(n);
  }
}

}  // namespace

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
  // Names are gathered and written in large blocks, as a host collecting
  // them would, so that stdio's per-call locking is not what gets timed.
  std::string out;
  out.reserve(kOutBlock + 4096);
  std::string name;
  std::string line;
  unsigned long records = 0;
  unsigned long skipped = 0;
  for (int result; (result = reader->GetItem(name, line)) != 0;) {
    if (result == 1) {
      ++records;
      out += name;
      out += '\n';
      if (out.size() >= kOutBlock) {
        WriteAll(out);
        out.clear();
      }
    } else {
      ++skipped;
    }
  }
  WriteAll(out);
  std::fprintf(stderr, "%lu records, %lu skipped\n", records, skipped);
  return 0;
}
