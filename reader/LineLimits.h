// Limits on one line of the files the library reads and writes, shared by
// the collect reader and the stub conversion. Internal to the library; tests
// and fuzz targets include it rather than copy the numbers.
//
// A fuzz build (FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION, as libFuzzer's
// users name it: the fuzz preset in cmake/CIPresets.json) scales them down,
// so that inputs of a few KiB cross each limit many times. Such a build
// installs and packages nothing (cmake/Sanitizers.cmake refuses it), and
// the suite checks the shipped library at the real values.
#ifndef READER_LINELIMITS_H_
#define READER_LINELIMITS_H_

#include <cstddef>
#include <cstdint>

namespace vscr {

#ifndef FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION

// No record and no path is this long: a longer line is damage, such as a
// run of zero bytes left by a crash, and holding it whole could exhaust the
// host's memory. Such a line is passed over without being kept.
constexpr std::size_t kMaxLineLength = std::size_t{16} * 1024 * 1024;

// The conversion reads its input in blocks of this size; its buffer grows
// only for a line longer than that, up to kMaxLineLength + one block.
constexpr std::size_t kConversionBlockSize = std::size_t{128} * 1024;
// It writes its path list in blocks of this size; a path as long as a block
// is written straight through.
constexpr std::size_t kConversionOutputSize = std::size_t{1024} * 1024;

// A record holds its field count of separators, plus the commas inside its
// quoted fields: a path may be up to PATH_MAX (4096) bytes of commas, and
// the index service's metadata tens of thousands more. A line with more
// than this many beyond the field count is damage, such as a run of commas;
// splitting it would cost one host string per field. The bound is a plain
// count of commas, quoted or not: the host's tokenizer decides what a quote
// does, so the reader cannot count fields exactly.
constexpr uint64_t kSpareSeparators = 65536;

#else  // the fuzz build's: an 8 KiB input crosses each of them many times

constexpr std::size_t kMaxLineLength = 64;
constexpr std::size_t kConversionBlockSize = 32;
constexpr std::size_t kConversionOutputSize = 40;
constexpr uint64_t kSpareSeparators = 8;

#endif

}  // namespace vscr

#endif  // READER_LINELIMITS_H_
