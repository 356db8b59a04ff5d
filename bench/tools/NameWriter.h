// Writes names to a descriptor (standard output by default), one per line,
// gathered in large blocks as a host collecting them would, so that output
// calls are not what gets timed. The GetItem loop and its floor write
// through the same one; the conversion floor writes its path list with it.
#ifndef BENCH_TOOLS_NAMEWRITER_H_
#define BENCH_TOOLS_NAMEWRITER_H_

#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

namespace bench {

class NameWriter {
 public:
  explicit NameWriter(int fd = STDOUT_FILENO, std::size_t size = 64 * 1024)
      : m_fd(fd), m_buffer(size) {}
  NameWriter(const NameWriter&) = delete;
  NameWriter& operator=(const NameWriter&) = delete;
  ~NameWriter() { Flush(); }

  void Add(const std::string& name) { Add(name.data(), name.size()); }
  void Add(const char* name, std::size_t length) {
    if (length + 1 > m_buffer.size() - m_used) Flush();
    if (length + 1 > m_buffer.size()) {  // longer than the whole buffer
      WriteAll(name, length);
      WriteAll("\n", 1);
      return;
    }
    std::memcpy(m_buffer.data() + m_used, name, length);
    m_used += length;
    m_buffer[m_used++] = '\n';
  }

  void Flush() {
    WriteAll(m_buffer.data(), m_used);
    m_used = 0;
  }

 private:
  void WriteAll(const char* data, std::size_t size) const {
    while (size > 0) {
      const ssize_t n = ::write(m_fd, data, size);
      if (n <= 0) return;
      data += n;
      size -= static_cast<std::size_t>(n);
    }
  }

  int m_fd;
  std::vector<char> m_buffer;
  std::size_t m_used = 0;
};

}  // namespace bench

#endif  // BENCH_TOOLS_NAMEWRITER_H_
