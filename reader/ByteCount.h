// Counting one byte value over a range, as fast as the processor allows:
// CountLines counts line feeds over whole files with it, and the reader
// counts the commas of long lines.
#ifndef READER_BYTECOUNT_H_
#define READER_BYTECOUNT_H_

#include <cstddef>
#include <cstdint>
#include <memory>

namespace vscr {

// Occurrences of `byte` in [begin, end). On x86-64 it uses AVX2 where the
// processor and the operating system support it, found out once at the
// first call, and SSE2 elsewhere, so the library needs no more than any
// x86-64; NEON on aarch64; and eight bytes at a time in a plain 64-bit
// word on every other processor.
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

// The top bit of each byte of `word` that equals `byte`, and no other bit,
// in either byte order: a byte of `word ^ pattern` is zero where `byte` is,
// and its low seven bits plus 0x7f carry into its top bit, never beyond,
// unless they are all zero; with its own top bit or-ed in, only a match
// ends with its top bit clear.
inline uint64_t MatchBits(uint64_t word, char byte) {
  constexpr uint64_t kLowBits = 0x7f7f7f7f7f7f7f7fULL;
  const uint64_t x = word ^ (0x0101010101010101ULL * static_cast<unsigned char>(byte));
  return ~(((x & kLowBits) + kLowBits) | x | kLowBits);
}

}  // namespace vscr

#endif  // READER_BYTECOUNT_H_
