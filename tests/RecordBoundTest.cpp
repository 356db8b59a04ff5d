// What one record costs is bounded by its line, whatever the line holds:
// lines dense with separators, quotes or escapes, and a genuine name as long
// as a line may be. Peak memory is measured in a forked child, over a whole
// GetItem loop with our stand-ins.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ChildProcess.h"
#include "CollectTestHarness.h"
#include "LineLimits.h"

namespace {

constexpr long kPeakRssLimitKiB = 128 * 1024;
const std::string kTooManyFields = "-1 Collect file line with too many fields in stubs_42.lmf";
const std::string kShortRecord = "-1 Could not find all desired fields in collect file entry";

class RecordBound : public CollectTest {
 protected:
  // Walks the collect file already at CollectPath() in a child, the way a
  // host does: the same two strings for every record. Returns the results,
  // and the child's peak in `peakKiB`.
  Results WalkInChild(long* peakKiB) {
    return ReportAndPeakOfChild([&] {
      VivodStubCollectReader reader(Args());
      if (!reader.Initialize(WriteInputList("/etc/passwd\n")) || !reader.Open()) {
        return "cannot open: " + reader.m_lastError;
      }
      std::string report;
      Item item{-1, "", "", ""};
      for (int i = 0; i < 100 && item.result != 0; ++i) {
        item.result = reader.GetItem(item.fileName, item.line);
        item.lastError = reader.m_lastError;
        report += Brief(item) + "\n";
      }
      return report;
    }, peakKiB);
  }
};

TEST_F(RecordBound, DenseLinesAndTheLongestNameCostBoundedMemoryAndRecordsComeThrough) {
  const std::string path = CollectPath();
  // Every pattern fills a line of the longest length kept, then an ordinary
  // record follows.
  const std::vector<std::string> patterns = {",", "a,", "\",", "\\,", "\"", "\\"};
  AppendFile(path, Record("/first") + "\n");
  for (std::size_t i = 0; i < patterns.size(); ++i) {
    AppendRepeated(path, patterns[i], vscr::kMaxLineLength);
    AppendFile(path, "\n" + Record("/after-" + std::to_string(i)) + "\n");
  }
  // A name as long as a line allows: Record() puts 15 bytes around it.
  const std::size_t nameLength = vscr::kMaxLineLength - 15;
  AppendFile(path, "1,7,4096,10,/");
  AppendRepeated(path, "n", nameLength - 1);
  AppendFile(path, ",1,\n");
  AppendFile(path, Record("/last"));

  long peakKiB = 0;
  const Results results = WalkInChild(&peakKiB);
  const std::string longName = "1 /nnnnnnn... (" + std::to_string(nameLength) + " bytes)";
  EXPECT_EQ(results, (Results{"1 /first", kTooManyFields, "1 /after-0", kTooManyFields,
                              "1 /after-1", kTooManyFields, "1 /after-2", kTooManyFields,
                              "1 /after-3", kShortRecord, "1 /after-4", kShortRecord,
                              "1 /after-5", longName, "1 /last", "0"}));
  if (kPeakRssIsMeaningful) {
    EXPECT_GT(peakKiB, 0);
    EXPECT_LT(peakKiB, kPeakRssLimitKiB) << "peak RSS of the walk, KiB";
  }
}

}  // namespace
