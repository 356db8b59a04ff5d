// Helpers shared by the fuzz targets: taking an input apart, and stopping
// at a broken invariant. Scratch files come from TestFiles.h.
#ifndef FUZZ_FUZZSUPPORT_H_
#define FUZZ_FUZZSUPPORT_H_

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

// Hands out the bytes of a fuzz input from the front; past the end, zeros.
class ByteReader {
 public:
  ByteReader(const uint8_t* data, std::size_t size) : m_data(data), m_size(size) {}

  uint8_t Byte() { return m_pos < m_size ? m_data[m_pos++] : 0; }
  uint64_t Number(int bytes) {
    uint64_t value = 0;
    for (int i = 0; i < bytes; ++i) value = value << 8 | Byte();
    return value;
  }
  // Everything not taken yet.
  std::string Rest() {
    std::string rest(reinterpret_cast<const char*>(m_data) + m_pos, m_size - m_pos);
    m_pos = m_size;
    return rest;
  }

 private:
  const uint8_t* m_data;
  std::size_t m_size;
  std::size_t m_pos = 0;
};

// Stops the process with a message that names the broken invariant.
[[noreturn]] inline void Violated(const char* invariant) {
  std::fprintf(stderr, "invariant violated: %s\n", invariant);
  std::abort();
}
#define FUZZ_CHECK(condition) \
  do {                        \
    if (!(condition)) Violated(#condition); \
  } while (0)

#endif  // FUZZ_FUZZSUPPORT_H_
