// Limits on one line of the files the library reads, shared by the collect
// reader and the stub conversion. Internal to the library; tests include it
// rather than copy the numbers.
#ifndef READER_LINELIMITS_H_
#define READER_LINELIMITS_H_

#include <cstddef>
#include <cstdint>

namespace vscr {

// No record and no path is this long: a longer line is damage, such as a
// run of zero bytes left by a crash, and holding it whole could exhaust the
// host's memory. Such a line is passed over without being kept.
constexpr std::size_t kMaxLineLength = std::size_t{16} * 1024 * 1024;

// A record holds its field count of separators, plus the commas inside its
// quoted fields: a path may be up to PATH_MAX (4096) bytes of commas, and
// the index service's metadata tens of thousands more. A line with more
// than this many beyond the field count is damage, such as a run of commas;
// splitting it would cost one host string per field. The bound is a plain
// count of commas, quoted or not: the host's tokenizer decides what a quote
// does, so the reader cannot count fields exactly.
constexpr uint64_t kSpareSeparators = 65536;

}  // namespace vscr

#endif  // READER_LINELIMITS_H_
