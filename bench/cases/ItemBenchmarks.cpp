// The GetItem loop, the same walk through WalkCollectRange (a whole-file
// range, which should cost at most 1.05 x the loop), and GetItem after
// SetSeekOffset, as a host resuming at stored record offsets calls them.
#include <benchmark/benchmark.h>

#include <string>

#include "BenchInputs.h"
#include "CollectFileReader.h"
#include "RecordGenerator.h"
#include "VivodStubCollectWalk.h"

namespace {

void SetRates(benchmark::State& state, uint64_t records, uint64_t bytes) {
  state.counters["records"] =
      benchmark::Counter(static_cast<double>(records), benchmark::Counter::kIsRate);
  state.SetBytesProcessed(static_cast<int64_t>(bytes));
}

// Walks the whole collect file with a fresh reader in every iteration;
// `walk` returns the records it met, or -1 with the reader's message.
template <typename Walk>
void WalkEachIteration(benchmark::State& state, Walk walk) {
  const bench::InputFile& input = bench::CollectInput();
  uint64_t records = 0;
  for (auto _ : state) {
    bench::CollectFileReader file(input.path);
    VivodStubCollectReader* reader = file.reader();
    const long met = reader == nullptr ? -1 : walk(*reader);
    if (met < 0) {
      state.SkipWithError(reader == nullptr ? file.error().c_str() : reader->m_lastError.c_str());
      return;
    }
    records += static_cast<uint64_t>(met);
  }
  SetRates(state, records, input.bytes * static_cast<uint64_t>(state.iterations()));
}

void BM_GetItemLoop(benchmark::State& state) {
  WalkEachIteration(state, [](VivodStubCollectReader& reader) {
    std::string name;
    std::string line;
    long records = 0;
    while (reader.GetItem(name, line) != 0) {
      benchmark::DoNotOptimize(name.data());
      ++records;
    }
    return records;
  });
}
BENCHMARK(BM_GetItemLoop)->Unit(benchmark::kMillisecond);

void BM_WholeFileRange(benchmark::State& state) {
  WalkEachIteration(state, [](VivodStubCollectReader& reader) {
    long records = 0;
    const bool walked = WalkCollectRange(
        reader, 0, UINT64_MAX,
        [&](const std::string& name, const std::string&, uint64_t) {
          benchmark::DoNotOptimize(name.data());
          ++records;
        },
        [&](const std::string&, uint64_t) { ++records; });
    return walked ? records : -1;
  });
}
BENCHMARK(BM_WholeFileRange)->Unit(benchmark::kMillisecond);

void BM_SeekThenGetItem(benchmark::State& state) {
  const bench::InputFile& input = bench::CollectInput();
  bench::CollectFileReader file(input.path);
  VivodStubCollectReader* reader = file.reader();
  if (reader == nullptr) {
    state.SkipWithError(file.error().c_str());
    return;
  }
  bench::Random random(3);
  std::string name;
  std::string line;
  uint64_t records = 0;
  uint64_t bytes = 0;
  for (auto _ : state) {
    const uint64_t offset = input.lineStarts[random.Next() % input.lineStarts.size()];
    if (!reader->SetSeekOffset(offset) || reader->GetItem(name, line) != 1) {
      state.SkipWithError("seek or read failed");
      return;
    }
    ++records;
    bytes += line.size() + 1;
  }
  SetRates(state, records, bytes);
}
BENCHMARK(BM_SeekThenGetItem);

}  // namespace
