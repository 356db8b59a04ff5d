// CountLines over a whole collect file, as Initialize runs it.
#include <benchmark/benchmark.h>

#include "BenchInputs.h"
#include "VivodStubCollectReader.h"

namespace {

void BM_CountLines(benchmark::State& state) {
  const bench::InputFile& input = bench::CollectInput();
  VivodStubCollectReader reader{VivodStubCollectReaderInitArgs()};
  for (auto _ : state) {
    if (reader.CountLines(input.path.c_str()) != input.lines) {
      state.SkipWithError("wrong count");
      return;
    }
  }
  const auto iterations = static_cast<uint64_t>(state.iterations());
  state.counters["records"] = benchmark::Counter(
      static_cast<double>(input.lines * iterations), benchmark::Counter::kIsRate);
  state.SetBytesProcessed(static_cast<int64_t>(input.bytes * iterations));
}
BENCHMARK(BM_CountLines)->Unit(benchmark::kMillisecond);

}  // namespace
