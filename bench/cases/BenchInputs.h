// Input files for the benchmark cases, generated once per process into a
// temporary directory that is removed at exit.
#ifndef BENCH_CASES_BENCHINPUTS_H_
#define BENCH_CASES_BENCHINPUTS_H_

#include <cstdint>
#include <string>
#include <vector>

namespace bench {

struct InputFile {
  std::string path;
  uint64_t lines = 0;
  uint64_t bytes = 0;
  std::vector<uint64_t> lineStarts;  // byte offset of every line
};

// 200,000 records of the default layout, seed 1.
const InputFile& CollectInput();
// 200,000 stub collect lines, seed 2.
const InputFile& StubInput();
// A path in the temporary directory, for outputs.
std::string ScratchPath(const std::string& name);

}  // namespace bench

#endif  // BENCH_CASES_BENCHINPUTS_H_
