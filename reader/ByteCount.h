// Counting one byte value over a range, as fast as the processor allows:
// CountLines counts line feeds over whole files with it, and the reader
// counts the commas of long lines.
#ifndef READER_BYTECOUNT_H_
#define READER_BYTECOUNT_H_

#include <cstddef>
#include <cstdint>
#include <memory>

namespace vscr {

// Occurrences of `byte` in [begin, end). Uses AVX2 where the processor and
// the operating system support it, found out once at the first call, and
// SSE2 or plain code elsewhere; the library itself needs no more than any
// x86-64.
uint64_t CountByte(const char* begin, const char* end, char byte);

// The size of the blocks in which CountLines reads a file, chosen with
// bench/sweep.sh: small enough to stay in the processor's L2 cache while
// it is counted, large enough that the read calls cost little.
constexpr std::size_t kCountBlockSize = std::size_t{256} * 1024;

// A buffer of `size` bytes that a file is read into, its start aligned to a
// cache line. The kernel's copy out of the page cache runs several times
// slower on AMD EPYC when the buffer begins 1 to 31 bytes into a page, and
// glibc's malloc hands out blocks of 128 KiB and more exactly 16 bytes in.
class ReadBuffer {
 public:
  explicit ReadBuffer(std::size_t size) : m_storage(new char[size + kAlignment]) {}
  char* data() const {
    const auto at = reinterpret_cast<std::uintptr_t>(m_storage.get());
    return m_storage.get() + (kAlignment - at % kAlignment) % kAlignment;
  }

 private:
  static constexpr std::size_t kAlignment = 64;
  std::unique_ptr<char[]> m_storage;
};

}  // namespace vscr

#endif  // READER_BYTECOUNT_H_
