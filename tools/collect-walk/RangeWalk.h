// The record loop of every walk, and the start of a walk of one byte range.
//
// A range [begin, end) holds the records whose line begins in it, so the
// ranges of any cut of the collect file take every record exactly once. A
// walk of a range moves to byte begin - 1 and reads the rest of the line
// that holds it, which belongs to an earlier range, then walks while the
// offset of the next line is below `end`. That offset is tracked, not
// asked: GetSeekOffset costs a system call, too much to ask per record.
#ifndef TOOLS_COLLECT_WALK_RANGEWALK_H_
#define TOOLS_COLLECT_WALK_RANGEWALK_H_

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "Progress.h"
#include "VivodStubCollectReader.h"
#include "WalkArguments.h"

// What a walk met: records, skipped lines by reason, in the order the
// reasons first came up, and the offset where it stopped.
struct Tally {
  unsigned long records = 0;
  unsigned long skipped = 0;
  uint64_t nextOffset = 0;
  std::vector<std::pair<std::string, unsigned long>> reasons;

  void Skip(const std::string& reason);
};

// Moves the Open `reader` to the first line that begins at or after
// `begin` and sets `*offset` to that line's offset. Returns kExitDone, or
// the exit status after telling why not: a failed seek, or a read error
// while reading the rest of the line before. When the range begins past
// the end of the file, the next GetItem returns 0.
int StartRange(VivodStubCollectReader& reader, uint64_t begin, uint64_t* offset);

// Walks from `offset`, where `reader` stands at a line start, until the
// offset reaches `end` or GetItem returns 0, printing each record (and
// each skipped line) as options ask and counting it in `tally`. Returns
// the message of the read error that ended the walk, or empty.
std::string WalkRecords(VivodStubCollectReader& reader, const WalkOptions& options,
                        uint64_t offset, uint64_t end, Tally* tally, ProgressLine* progress);

#endif  // TOOLS_COLLECT_WALK_RANGEWALK_H_
