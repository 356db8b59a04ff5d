#include "RangeWalk.h"

#include <iostream>

#include "Report.h"

namespace {

void PrintRecord(const WalkOptions& options, uint64_t start, const std::string& name,
                 const std::string& line) {
  if (options.offsets) std::cout << start << '\t';
  std::cout << name;
  if (options.verbose) std::cout << '\t' << line;
  std::cout << '\n';
}

// A skipped line stands where its record would, so that the outputs of
// ranges put together show every line of a whole walk in its place.
void PrintSkip(const WalkOptions& options, uint64_t start, const std::string& reason) {
  if (options.offsets) std::cout << start << '\t';
  std::cout << "skipped: " << reason << '\n';
}

}  // namespace

void Tally::Skip(const std::string& reason) {
  ++skipped;
  for (auto& entry : reasons) {
    if (entry.first == reason) {
      ++entry.second;
      return;
    }
  }
  reasons.emplace_back(reason, 1);
}

int StartRange(VivodStubCollectReader& reader, uint64_t begin, uint64_t* offset) {
  *offset = begin;
  if (begin == 0) return kExitDone;
  if (!reader.SetSeekOffset(begin - 1)) return Failed("SetSeekOffset", reader);
  // The rest of the line that holds byte begin - 1: just its line feed when
  // `begin` starts a line. That line belongs to an earlier range.
  std::string name;
  std::string line;
  const int first = reader.GetItem(name, line);
  if (first == 0) return kExitDone;  // past the end: the walk gets 0 at once
  const std::string told = reader.m_lastError;
  if (reader.GetSeekOffset(*offset)) return kExitDone;
  // Only a read error fails the stream before a 0, and that -1 told it.
  if (first == -1) {
    Complain("GetItem failed: " + told);
    return kExitLibraryFailure;
  }
  return Failed("GetSeekOffset", reader);
}

std::string WalkRecords(VivodStubCollectReader& reader, const WalkOptions& options,
                        uint64_t offset, uint64_t end, Tally* tally, ProgressLine* progress) {
  std::string name;
  std::string line;
  while (offset < end) {
    const uint64_t start = offset;
    const int result = reader.GetItem(name, line);
    if (result == 0) break;
    if (result == 1) {
      ++tally->records;
      PrintRecord(options, start, name, line);
      offset += line.size() + 1;  // the whole raw line, a CR included, and its line feed
    } else {
      // A -1 hands out no line, so its length is asked; -1s are rare.
      const std::string reason = reader.m_lastError;
      if (!reader.GetSeekOffset(offset)) return reason;  // a read error, told by this -1
      PrintSkip(options, start, reason);
      tally->Skip(reason);
    }
    progress->Advance(offset, tally->records);
  }
  tally->nextOffset = offset;
  return std::string();
}
