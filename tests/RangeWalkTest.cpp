// A collect file cut into byte ranges, each walked by its own reader with
// WalkCollectRange: whatever the cut points, the ranges' results put
// together in order are the whole walk's, each result once, each with the
// offset that the whole walk reached after it.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "CollectTestHarness.h"

namespace {

struct FileCase {
  const char* name;
  int lines;
  bool longLine;      // a line of 17 MiB in the middle, longer than a line may be
  bool lastLineFeed;  // whether the file ends in a line feed
  int randomCutSets;
};

const FileCase kFiles[] = {
    {"mixed lines", 300, false, true, 8},
    {"mixed lines, the last without a line feed", 300, false, false, 8},
    {"a few lines", 4, false, false, 8},
    // Each range over this one reads up to 17 MiB: its cut sets are few.
    {"a long line, and a last line without a line feed", 60, true, false, 0},
};

constexpr std::size_t kLongLineSize = std::size_t{17} << 20;

// The kinds of line that a walk must carry across a cut: records, CRLF
// records, empty lines (LF and CRLF), short records, and quoted names with
// commas and escaped quotes. A file begins with one of each, in turn.
std::string MixedLine(int i, std::mt19937& random) {
  constexpr int kKinds = 6;
  const std::string n = std::to_string(i);
  switch (i < kKinds ? i : std::uniform_int_distribution<int>(0, kKinds + 2)(random)) {
    case 0: return Record("/archive/crlf-" + n) + "\r";
    case 1: return "";
    case 2: return "\r";
    case 3: return "1,2," + n;
    case 4: return Record("\"/archive/q," + n + " \\\"x\\\"\"");
    default: return Record("/archive/f-" + n);
  }
}

// The file's bytes, and where each of its lines begins.
struct CollectBytes {
  std::string bytes;
  std::vector<uint64_t> lineStarts;
  uint64_t longStart = 0;  // the long line's offset, if it has one
};

CollectBytes MakeFile(const FileCase& file, std::mt19937& random) {
  CollectBytes made;
  for (int i = 0; i < file.lines; ++i) {
    const bool isLong = file.longLine && i == file.lines / 2;
    if (isLong) made.longStart = made.bytes.size();
    made.lineStarts.push_back(made.bytes.size());
    made.bytes += isLong ? Record("/archive/" + std::string(kLongLineSize, 'x'))
                         : MixedLine(i, random);
    made.bytes += '\n';
  }
  if (!file.lastLineFeed) made.bytes.pop_back();
  return made;
}

using Cuts = std::vector<uint64_t>;

// The cut sets of one file: the named points, and random ones from the
// seed. Each set is sorted; 0 and the size bound every set. A range costs
// a file with a long line much, so such a file has the points inside that
// line and random ones only; the others have the rest.
std::vector<Cuts> CutSets(const FileCase& file, const CollectBytes& made, std::mt19937& random) {
  const uint64_t size = made.bytes.size();
  std::uniform_int_distribution<uint64_t> anywhere(0, size);
  std::vector<Cuts> sets = {{}};
  if (file.longLine) {
    const uint64_t start = made.longStart;
    sets.push_back({start + 1, start + kLongLineSize / 2, start + kLongLineSize + 20});
  } else {
    sets.push_back(made.lineStarts);
    Cuts insideCrlf;
    for (uint64_t at = 1; at < size; ++at) {
      if (made.bytes[at - 1] == '\r' && made.bytes[at] == '\n') insideCrlf.push_back(at);
    }
    sets.push_back(insideCrlf);
    const uint64_t twice = anywhere(random);
    const uint64_t lineStart = made.lineStarts[made.lineStarts.size() / 2];
    sets.push_back({0, 0, twice, twice, lineStart, lineStart, size, size});
  }
  for (int i = 0; i < file.randomCutSets; ++i) {
    Cuts cuts(std::uniform_int_distribution<int>(1, 6)(random));
    for (uint64_t& cut : cuts) cut = anywhere(random);
    sets.push_back(cuts);
  }
  for (Cuts& cuts : sets) {
    cuts.insert(cuts.begin(), 0);
    cuts.push_back(size);
    std::sort(cuts.begin(), cuts.end());
  }
  return sets;
}

std::string Describe(const Cuts& cuts) {
  std::string text;
  for (const uint64_t cut : cuts) text += std::to_string(cut) + " ";
  return text.size() > 300 ? text.substr(0, 300) + "..." : text;
}

class RangeWalk : public CollectTest {
 protected:
  // A reader of its own, as a worker on another machine has.
  RangeResults Walk(uint64_t begin, uint64_t end) {
    VivodStubCollectReader reader(Args());
    EXPECT_TRUE(reader.Initialize(m_input) && reader.Open()) << reader.m_lastError;
    return WalkRange(reader, begin, end);
  }

  std::string m_input;
};

TEST_F(RangeWalk, RangesOfAnyCutTakeEveryResultOnceInOrder) {
  std::mt19937 random(19);
  m_input = WriteInputList("/etc/passwd\n");
  for (const FileCase& file : kFiles) {
    SCOPED_TRACE(file.name);
    const CollectBytes made = MakeFile(file, random);
    WriteCollectFile(made.bytes);
    VivodStubCollectReader reader(Args());
    ASSERT_TRUE(reader.Initialize(m_input) && reader.Open()) << reader.m_lastError;
    const RangeResults whole = WalkWhole(reader);
    ASSERT_EQ("", whole.error);
    // The file holds what the table says: records, lines skipped, and
    // the long line, which is skipped too.
    const auto skipped = std::count_if(whole.results.begin(), whole.results.end(),
                                       [](const std::string& r) { return r.rfind("-1 ", 0) == 0; });
    ASSERT_GE(skipped, file.longLine ? 4 : 3);
    ASSERT_GT(whole.results.size(), static_cast<std::size_t>(skipped));
    for (const Cuts& cuts : CutSets(file, made, random)) {
      SCOPED_TRACE("cut at " + Describe(cuts));
      std::vector<std::string> joined;
      for (std::size_t i = 0; i + 1 < cuts.size(); ++i) {
        const RangeResults range = Walk(cuts[i], cuts[i + 1]);
        EXPECT_EQ("", range.error) << "range " << cuts[i] << " to " << cuts[i + 1];
        joined.insert(joined.end(), range.results.begin(), range.results.end());
      }
      // Compared, not printed: a failure would print every result.
      EXPECT_TRUE(joined == whole.results)
          << joined.size() << " results in the ranges, " << whole.results.size() << " in all";
    }
  }
}

// A FIFO has no offsets: the walker says so before any record, rather than
// walking on and blaming the first skipped line.
TEST_F(RangeWalk, CollectFileWithoutOffsetsFailsBeforeAnyRecord) {
  ASSERT_EQ(0, ::mkfifo(CollectPath().c_str(), 0600));
  VivodStubCollectReader reader(Args());
  ASSERT_TRUE(reader.Initialize(WriteInputList("/etc/passwd\n")));  // the FIFO is reused
  std::thread writer([this] { WriteFile(CollectPath(), "\n" + Record("/a") + "\n"); });
  const bool opened = reader.Open();
  writer.join();
  ASSERT_TRUE(opened) << reader.m_lastError;
  const RangeResults walk = WalkRange(reader, 0, UINT64_MAX);
  EXPECT_EQ("Read offset not available.", walk.error);
  EXPECT_EQ(Results{}, walk.results);
}

}  // namespace
