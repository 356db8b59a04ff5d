// Counting one byte value over a range, as fast as the processor allows:
// CountLines counts line feeds over whole files with it, and the reader
// counts the commas of long lines.
#ifndef READER_BYTECOUNT_H_
#define READER_BYTECOUNT_H_

#include <cstdint>

namespace vscr {

// Occurrences of `byte` in [begin, end). On x86-64 it uses AVX2 where the
// processor and the operating system support it, found out once at the
// first call, and SSE2 elsewhere, so the library needs no more than any
// x86-64; NEON on aarch64; and eight bytes at a time in a plain 64-bit
// word on every other processor.
uint64_t CountByte(const char* begin, const char* end, char byte);

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
