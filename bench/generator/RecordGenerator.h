// Deterministic text for benchmarks: collect file records as the host's
// index service writes them, and stub collect file lines. The same seed
// gives the same bytes on every machine and compiler, so timings taken on
// different days compare the same input.
#ifndef BENCH_GENERATOR_RECORDGENERATOR_H_
#define BENCH_GENERATOR_RECORDGENERATOR_H_

#include <cstdint>
#include <string>

namespace bench {

// splitmix64: tiny, fully specified, so no library's distribution can
// change the generated files.
class Random {
 public:
  explicit Random(uint64_t seed) : m_state(seed) {}
  uint64_t Next();
  // Uniform enough in [low, high] for test data.
  uint64_t Between(uint64_t low, uint64_t high);
  // True with a chance of `percent` in 100.
  bool Percent(unsigned percent);

 private:
  uint64_t m_state;
};

// Produces the lines of one file, each with its line end.
class RecordGenerator {
 public:
  explicit RecordGenerator(uint64_t seed) : m_random(seed) {}

  // One record of the default seven-field layout. Names are 40 to 120
  // bytes; some hold commas, double quotes or backslashes and are quoted
  // and escaped as the index service does. Metadata is always quoted, now
  // and then with escaped quotes. About one line in twenty ends in CRLF.
  void AppendCollectRecord(std::string* out);
  // One stub collect line "<number>,<path>:<suffix>": mostly usable, with
  // the odd CRLF or TAB ending, missing suffix, ':' or ',' inside the
  // path, empty line, or line without the delimiter.
  void AppendStubLine(std::string* out);

 private:
  std::string Path(std::size_t length);
  std::string Metadata();

  Random m_random;
  uint64_t m_fileId = 0;
  uint64_t m_offset = 0;
};

}  // namespace bench

#endif  // BENCH_GENERATOR_RECORDGENERATOR_H_
