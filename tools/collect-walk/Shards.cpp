#include "Shards.h"

#include <iostream>
#include <optional>

#include "Preparation.h"
#include "Report.h"
#include "VivodStubCollectReader.h"

uint64_t ShardCut(uint64_t size, uint64_t i, uint64_t n) {
  // size = q * n + r, so size * i / n = q * i + r * i / n, and r * i stays
  // below n * n, which fits for any n of 32 bits.
  return size / n * i + size % n * i / n;
}

int PrintShards(const WalkOptions& options) {
  VivodStubCollectReader reader(MakeInitArgs(options));
  const int prepared = PrepareCollectFile(options, reader, std::cerr);
  if (prepared != kExitDone) return prepared;
  const std::optional<uint64_t> size = CollectFileSize(reader);
  if (!size) {
    Complain("collect file " + CollectPath(reader) +
             " is not a regular file, so it has no size to cut");
    return kExitLibraryFailure;
  }
  const uint32_t count = *options.shards;
  for (uint32_t i = 0; i < count; ++i) {
    std::cout << ShardCut(*size, i, count) << ' ' << ShardCut(*size, i + 1, count) << '\n';
  }
  return kExitDone;
}
