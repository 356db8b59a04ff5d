// Writes names to standard output, one per line, gathered in large blocks
// as a host collecting them would, so that output calls are not what gets
// timed. The GetItem loop and its floor write through the same one.
#ifndef BENCH_TOOLS_NAMEWRITER_H_
#define BENCH_TOOLS_NAMEWRITER_H_

#include <unistd.h>

#include <cstring>
#include <string>

namespace bench {

class NameWriter {
 public:
  NameWriter() = default;
  NameWriter(const NameWriter&) = delete;
  NameWriter& operator=(const NameWriter&) = delete;
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

}  // namespace bench

#endif  // BENCH_TOOLS_NAMEWRITER_H_
