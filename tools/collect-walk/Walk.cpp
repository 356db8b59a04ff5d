#include "Walk.h"

#include <algorithm>
#include <cstdint>
#include <iostream>
#include <limits>
#include <optional>
#include <string>

#include "Preparation.h"
#include "Progress.h"
#include "RangeWalk.h"
#include "Report.h"
#include "VivodStubCollectReader.h"

namespace {

constexpr uint64_t kNoEnd = std::numeric_limits<uint64_t>::max();

void PrintSummary(const std::string& collectPath, const Tally& tally) {
  std::cout << "collect file: " << collectPath << '\n';
  for (const auto& [reason, count] : tally.reasons) {
    std::cout << "skipped " << count << " x: " << reason << '\n';
  }
  std::cout << "records: " << tally.records << ", skipped: " << tally.skipped
            << ", next offset: " << tally.nextOffset << '\n';
}

// Moves the Open reader to where the walk starts: the first line of the
// range, the offset asked for, or the beginning. Sets `*offset` there and
// `*end` to where the walk stops. Returns the exit status.
int Start(VivodStubCollectReader& reader, const WalkOptions& options,
          std::optional<uint64_t> size, uint64_t* offset, uint64_t* end) {
  *offset = 0;
  *end = kNoEnd;
  if (options.range) {
    // A range that begins past the end is empty; starting it at the end
    // spares a seek far out, which a file system may refuse.
    const uint64_t begin = size ? std::min(options.range->begin, *size) : options.range->begin;
    *end = options.range->end;
    return StartRange(reader, begin, offset);
  }
  if (!options.offset) return kExitDone;
  if (!reader.SetSeekOffset(*options.offset)) return Failed("SetSeekOffset", reader);
  *offset = *options.offset;
  return kExitDone;
}

}  // namespace

int Walk(const WalkOptions& options) {
  VivodStubCollectReader reader(MakeInitArgs(options));
  // A range's output is one part of a whole walk's, and the note of an
  // empty collect file belongs to no part.
  const int prepared = PrepareCollectFile(options, reader, options.range ? std::cerr : std::cout);
  if (prepared != kExitDone) return prepared;
  if (!reader.Open()) return Failed("Open", reader);
  const std::optional<uint64_t> size = CollectFileSize(reader);
  uint64_t offset = 0;
  uint64_t end = kNoEnd;
  const int started = Start(reader, options, size, &offset, &end);
  if (started != kExitDone) return started;

  Tally tally;
  ProgressLine progress(ShowsProgress(options.progress), offset,
                        size ? std::optional<uint64_t>(std::min(end, *size)) : std::nullopt);
  const std::string readError = WalkRecords(reader, options, offset, end, &tally, &progress);
  progress.Clear();
  if (!readError.empty()) {
    Complain("GetItem failed: " + readError);
    return kExitLibraryFailure;
  }
  // After a last line without a line feed the tracked offset stands one
  // past the end of the file; a later walk would go on at the end itself.
  if (size && tally.nextOffset == *size + 1) tally.nextOffset = *size;
  PrintSummary(CollectPath(reader), tally);
  return kExitDone;
}
