// ProcessStubCollectFile with the stand-in log writer doing all its
// work; its lines go to /dev/null so that no terminal sets the pace.
#include <benchmark/benchmark.h>

#include "BenchInputs.h"
#include "TestFiles.h"
#include "VivodStubCollectReader.h"

namespace {

void BM_ProcessStubCollectFile(benchmark::State& state) {
  const bench::InputFile& input = bench::StubInput();
  const std::string output = bench::ScratchPath("paths.txt");
  VivodStubCollectReader reader{VivodStubCollectReaderInitArgs()};
  const StandardErrorToFile quiet("/dev/null");
  for (auto _ : state) {
    if (!reader.ProcessStubCollectFile(input.path, output, ',')) {
      state.SkipWithError("conversion failed");
      return;
    }
  }
  const auto iterations = static_cast<uint64_t>(state.iterations());
  state.counters["records"] = benchmark::Counter(
      static_cast<double>(input.lines * iterations), benchmark::Counter::kIsRate);
  state.SetBytesProcessed(static_cast<int64_t>(input.bytes * iterations));
}
BENCHMARK(BM_ProcessStubCollectFile)->Unit(benchmark::kMillisecond);

}  // namespace
