// vscr-walk FILE: the GetItem loop over a collect file, as a host runs it.
// Prints the file name of every record to standard output and a summary
// to standard error.
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "CollectFileReader.h"

namespace {

// Gathers names and writes them in large blocks, as a host collecting them
// would, so that output calls are not what gets timed.
class NameWriter {
 public:
  ~NameWriter() { Flush(); }
  void Add(const std::string& name) {
    if (name.size() + 1 > sizeof m_buffer - m_used) Flush();
    if (name.size() + 1 > sizeof m_buffer) {  // longer than the whole buffer
      WriteAll(name.data(), name.size());
      WriteAll("\n", 1);
      return;
    }
    std::memcpy(m_buffer + m_used, name.data(), name.size());
    m_used += name.size();
    m_buffer[m_used++] = '\n';
  }
  void Flush() {
    WriteAll(m_buffer, m_used);
    m_used = 0;
  }

 private:
  static void WriteAll(const char* data, std::size_t size) {
    while (size > 0) {
      const ssize_t n = ::write(STDOUT_FILENO, data, size);
      if (n <= 0) return;
      data += n;
      size -= static_cast<std::size_t>(n);
    }
  }

  char m_buffer[64 * 1024];
  std::size_t m_used = 0;
};

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
  NameWriter out;
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
