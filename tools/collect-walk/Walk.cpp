#include "Walk.h"

#include <cstdint>
#include <iostream>
#include <string>
#include <utility>
#include <vector>

#include "Report.h"
#include "VivodStubCollectReader.h"
#include "WorkDir.h"

namespace {

// Skipped records grouped by reason, in the order the reasons first came up.
struct Tally {
  unsigned long records = 0;
  unsigned long skipped = 0;
  uint64_t nextOffset = 0;  // where a later walk would go on
  std::vector<std::pair<std::string, unsigned long>> reasons;

  void Skip(const std::string& reason) {
    ++skipped;
    for (auto& entry : reasons) {
      if (entry.first == reason) {
        ++entry.second;
        return;
      }
    }
    reasons.emplace_back(reason, 1);
  }
};

void PrintSummary(const std::string& collectPath, const Tally& tally) {
  std::cout << "collect file: " << collectPath << '\n';
  for (const auto& [reason, count] : tally.reasons) {
    std::cout << "skipped " << count << " x: " << reason << '\n';
  }
  std::cout << "records: " << tally.records << ", skipped: " << tally.skipped
            << ", next offset: " << tally.nextOffset << '\n';
}

void PrintRecord(const WalkOptions& options, uint64_t start, const std::string& name,
                 const std::string& line) {
  if (options.offsets) std::cout << start << '\t';
  std::cout << name;
  if (options.verbose) std::cout << '\t' << line;
  std::cout << '\n';
}

// Walks from the reader's position to the end. The offset taken before each
// GetItem is where that call starts reading; the one taken before the final
// 0 is where a later walk would go on.
int WalkRecords(VivodStubCollectReader& reader, const WalkOptions& options, Tally* tally) {
  std::string name;
  std::string line;
  std::string lastSkip;  // m_lastError of the latest -1
  for (;;) {
    uint64_t start = 0;
    if (!reader.GetSeekOffset(start)) {
      // Before GetItem returns 0, only a read error fails the stream, and
      // the -1 that reported it said why.
      if (lastSkip.empty()) return Failed("GetSeekOffset", reader);
      Complain("GetItem failed: " + lastSkip);
      return kExitLibraryFailure;
    }
    tally->nextOffset = start;
    const int result = reader.GetItem(name, line);
    if (result == 0) return kExitDone;
    if (result == 1) {
      ++tally->records;
      PrintRecord(options, start, name, line);
    } else {  // a consumed line, or a read error that ends the walk
      lastSkip = reader.m_lastError;
      tally->Skip(lastSkip);
    }
  }
}

VivodStubCollectReaderInitArgs MakeInitArgs(const WalkOptions& options) {
  VivodStubCollectReaderInitArgs args;
  args.collectFileNumber = options.number;
  args.workDir = options.workDir;
  args.collectFilePrefix = options.prefix;
  args.fieldList = options.fields;
  args.fieldCount = options.fieldCount;
  args.jobId = options.jobId;
  return args;
}

// The library's message, then the cause behind it where the work dir shows
// one: that is an argument the walk cannot use.
int InitializeFailed(const VivodStubCollectReader& reader) {
  Failed("Initialize", reader);
  const std::string cause = CollectFileProblem(reader);
  if (cause.empty()) return kExitLibraryFailure;
  Complain(cause);
  return kExitBadArguments;
}

}  // namespace

int Walk(const WalkOptions& options) {
  const std::string unusable = UnusableArgument(options);
  if (!unusable.empty()) {
    Complain(unusable);
    return kExitBadArguments;
  }
  const DirectoryNames before(options.workDir);
  VivodStubCollectReader reader(MakeInitArgs(options));
  reader.m_useIndexCache = options.indexCache;
  if (!reader.Initialize(options.inputFile)) return InitializeFailed(reader);
  // The path the reader opens, as its header gives it.
  const std::string collectPath = reader.m_args.workDir + "/" + reader.m_dstFileName;
  // A collect file is reused as it stands, whatever INPUT now lists.
  if (before.Holds(reader.m_dstFileName)) {
    std::cerr << "reusing existing collect file " << collectPath << '\n';
  }
  // A fresh reader has no message, so one left by a successful Initialize
  // is a note (an empty collect file), not a failure.
  if (!reader.m_lastError.empty()) std::cout << "note: " << reader.m_lastError << '\n';
  if (!reader.Open()) return Failed("Open", reader);
  if (options.offset && !reader.SetSeekOffset(*options.offset)) {
    return Failed("SetSeekOffset", reader);
  }
  Tally tally;
  const int status = WalkRecords(reader, options, &tally);
  if (status == kExitDone) PrintSummary(collectPath, tally);
  return status;
}
