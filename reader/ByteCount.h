// Counting one byte value over a range, as fast as the processor allows:
// CountLines counts line feeds over whole files with it, and the reader
// counts the commas of long lines.
#ifndef READER_BYTECOUNT_H_
#define READER_BYTECOUNT_H_

#include <cstdint>

namespace vscr {

// Occurrences of `byte` in [begin, end). Uses AVX2 where the processor and
// the operating system support it, found out once at the first call, and
// SSE2 or plain code elsewhere; the library itself needs no more than any
// x86-64.
uint64_t CountByte(const char* begin, const char* end, char byte);

}  // namespace vscr

#endif  // READER_BYTECOUNT_H_
