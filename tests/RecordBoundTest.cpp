// What one record costs is bounded by its line, whatever the line holds:
// lines dense with separators, quotes or escapes, and a genuine name as long
// as a line may be. Peak memory is measured in a forked child, over a whole
// GetItem loop with our stand-ins.
#include <gtest/gtest.h>

#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "ChildProcess.h"
#include "CollectTestHarness.h"
#include "LineLimits.h"

namespace {

constexpr long kPeakRssLimitKiB = 128 * 1024;
const std::string kTooManyFields = "-1 Collect file line with too many fields in stubs_42.lmf";
const std::string kShortRecord = "-1 Could not find all desired fields in collect file entry";

// Sanitizer runtimes keep freed memory in quarantine and map shadow
// memory, so peak RSS says nothing about the reader there.
#if defined(VSCR_SANITIZED_BUILD)
constexpr bool kPeakRssIsMeaningful = false;
#else
constexpr bool kPeakRssIsMeaningful = true;
#endif

// Lines are built on disk piece by piece: a 16 MiB string in the test
// process would count in the peak of the child it forks.
void Append(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::app);
  out << bytes;
  if (!out.flush()) throw std::runtime_error("cannot append to " + path);
}

// `pattern` repeated, then cut, to `length` bytes.
void AppendRepeated(const std::string& path, const std::string& pattern, std::size_t length) {
  std::string piece;
  while (piece.size() < (std::size_t{1} << 20)) piece += pattern;
  piece.resize(std::size_t{1} << 20);
  for (; length >= piece.size(); length -= piece.size()) Append(path, piece);
  Append(path, piece.substr(0, length));
}

// A result as Describe gives it, with a long name cut to its first bytes and
// its size, so that the report stays small.
std::string Brief(int result, const std::string& name, const std::string& lastError) {
  if (result != 1 || name.size() <= 64) return Describe(result, name, lastError);
  return "1 " + name.substr(0, 8) + "... (" + std::to_string(name.size()) + " bytes)";
}

class RecordBound : public CollectTest {
 protected:
  // Walks the collect file already at CollectPath() in a child, the way a
  // host does: the same two strings for every record. Returns the results,
  // then "peak <KiB>".
  Results WalkInChild() {
    const ChildRun child = RunInChild([&] {
      VivodStubCollectReader reader(Args());
      if (!reader.Initialize(WriteInputList("/etc/passwd\n")) || !reader.Open()) {
        return "cannot open: " + reader.m_lastError;
      }
      std::string report, name, line;
      for (int i = 0, result = -1; i < 100 && result != 0; ++i) {
        result = reader.GetItem(name, line);
        report += Brief(result, name, reader.m_lastError) + "\n";
      }
      return report + "peak " + std::to_string(PeakRssKiB());
    });
    EXPECT_TRUE(ExitedWith(child.status, 0)) << child.status;
    Results lines;
    std::size_t start = 0;
    for (std::size_t end; (end = child.report.find('\n', start)) != std::string::npos;) {
      lines.push_back(child.report.substr(start, end - start));
      start = end + 1;
    }
    lines.push_back(child.report.substr(start));
    return lines;
  }

  static long PeakOf(Results* results) {
    const std::string last = results->back();
    results->pop_back();
    if (last.rfind("peak ", 0) != 0) return -1;
    return std::stol(last.substr(5));
  }
};

TEST_F(RecordBound, DenseLinesAndTheLongestNameCostBoundedMemoryAndRecordsComeThrough) {
  const std::string path = CollectPath();
  // Every pattern fills a line of the longest length kept, then an ordinary
  // record follows.
  const std::vector<std::string> patterns = {",", "a,", "\",", "\\,", "\"", "\\"};
  Append(path, Record("/first") + "\n");
  for (std::size_t i = 0; i < patterns.size(); ++i) {
    AppendRepeated(path, patterns[i], vscr::kMaxLineLength);
    Append(path, "\n" + Record("/after-" + std::to_string(i)) + "\n");
  }
  // A name as long as a line allows: Record() puts 15 bytes around it.
  const std::size_t nameLength = vscr::kMaxLineLength - 15;
  Append(path, "1,7,4096,10,/");
  AppendRepeated(path, "n", nameLength - 1);
  Append(path, ",1,\n");
  Append(path, Record("/last"));

  Results results = WalkInChild();
  const long peakKiB = PeakOf(&results);
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
