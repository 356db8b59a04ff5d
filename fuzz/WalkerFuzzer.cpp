// Fuzzes WalkCollectRange (VivodStubCollectWalk.h) against the rule of
// ranges: the collect file is cut at fuzzer-chosen points, and the walks of
// the ranges, put together in order, must give exactly the whole walk, every
// record and every skipped line with its offset. A walk resumed at each
// offset that the whole walk handed out must go on with the rest of it, and
// the whole walk must account for every line of the file, in order, the
// last one ending at the file's size; a range that begins at or past the end
// holds nothing, however far past. A walk that succeeds keeps m_lastError
// unless it handed out a skipped line, and a walk on a reader that an
// earlier walk read to the end fails, with its own message. In the fuzz
// build the line limit and the spare separators are a few dozen
// (LineLimits.h), so skipped lines of every kind sit at the cuts too.
//
// Input: one byte choosing the field list, one byte for the number of cuts,
// two bytes per cut, then the collect file's bytes.
#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "TestFiles.h"
#include "VivodStubCollectReader.h"
#include "VivodStubCollectWalk.h"

namespace {

// What a walk hands out for one line: a record (its file name and line) or
// a skipped line (its message), and the offset of the line after it.
struct Step {
  bool record;
  std::string name;
  std::string text;  // the record's line, or the skipped line's message
  uint64_t next;

  bool operator==(const Step& other) const {
    return record == other.record && name == other.name && text == other.text &&
           next == other.next;
  }
};
using Steps = std::vector<Step>;

// The default list, or short lists whose records have fewer fields.
VivodStubCollectReaderInitArgs ChooseArgs(uint8_t choice) {
  VivodStubCollectReaderInitArgs args;
  args.workDir = ProcessTempDir().path();
  args.collectFilePrefix = "walk";
  args.collectFileNumber = 1;
  if (choice % 3 == 1) {
    args.fieldList = "a,b,full_file_name,c";
    args.fieldCount = 4;
  } else if (choice % 3 == 2) {
    args.fieldList = "full_file_name,x,y";
    args.fieldCount = 3;
  }
  return args;
}

// The cut points that `bits` choose in [0, size], in order, with 0 and
// size themselves.
std::vector<uint64_t> CutsOf(const std::vector<uint16_t>& bits, uint64_t size) {
  std::vector<uint64_t> cuts = {0, size};
  for (const uint16_t cut : bits) cuts.push_back(cut % (size + 1));
  std::sort(cuts.begin(), cuts.end());
  return cuts;
}

// What a reader holds in m_lastError before its first walk: no message of
// the reader's own, so that a walk that sets or clears it is seen.
constexpr char kNoWalkYet[] = "(set by the walker fuzzer)";

// A reader that is Initialized (on the collect file already written) and Open.
std::unique_ptr<VivodStubCollectReader> OpenReader(const VivodStubCollectReaderInitArgs& args,
                                                   const std::string& collectPath) {
  auto reader = std::make_unique<VivodStubCollectReader>(args);
  FUZZ_CHECK(reader->Initialize(collectPath) && reader->Open());
  reader->m_lastError = kNoWalkYet;
  return reader;
}

// Walks [begin, end) of a file of `size` bytes and appends its steps; the
// walk is stopped after `limit` of them. The walk must succeed (a regular
// file is read) and keep m_lastError unless it handed out a skipped line.
// Where a step's next line would begin at the end, GetSeekOffset tells the
// same offset: asked once a walk at most, the walk stays as fast.
void Walk(VivodStubCollectReader& reader, uint64_t size, uint64_t begin, uint64_t end,
          std::size_t limit, Steps* steps) {
  const std::string before = reader.m_lastError;
  std::size_t taken = 0;
  bool skipped = false;
  const auto step = [&](uint64_t next) {
    uint64_t told = 0;
    if (next == size) FUZZ_CHECK(reader.GetSeekOffset(told) && told == size);
    return ++taken < limit;
  };
  const bool done = WalkCollectRange(
      reader, begin, end,
      [&](const std::string& name, const std::string& line, uint64_t next) {
        steps->push_back(Step{true, name, line, next});
        return step(next);
      },
      [&](const std::string& message, uint64_t next) {
        steps->push_back(Step{false, "", message, next});
        skipped = true;
        return step(next);
      });
  FUZZ_CHECK(done);
  if (!skipped) FUZZ_CHECK(reader.m_lastError == before);
}

// A reader that a walk read to the end (GetItem gave 0) fails any further
// walk, wherever it begins, before handing out anything.
void CheckWalkedToEnd(VivodStubCollectReader& reader, uint64_t begin) {
  Steps steps;
  FUZZ_CHECK(!WalkCollectRange(
      reader, begin, UINT64_MAX,
      [&](const std::string&, const std::string&, uint64_t) { steps.push_back(Step{}); },
      [&](const std::string&, uint64_t) { steps.push_back(Step{}); }));
  FUZZ_CHECK(steps.empty());
  FUZZ_CHECK(reader.m_lastError ==
             "Collect file already read to its end; walk it with a new reader.");
}

// Each step of the whole walk is the next line of the file: a record's line
// is that line, and every offset is where the line after it begins. After a
// last line without a line feed the offset is the file's size.
void CheckAccountsForEveryLine(const std::string& file, const Steps& whole) {
  uint64_t at = 0;
  for (const Step& step : whole) {
    FUZZ_CHECK(at < file.size());
    const std::size_t feed = file.find('\n', at);
    const std::size_t end = feed == std::string::npos ? file.size() : feed;
    if (step.record) FUZZ_CHECK(step.text == file.substr(at, end - at));
    if (feed != std::string::npos) {
      FUZZ_CHECK(step.next == feed + 1);
    } else {
      FUZZ_CHECK(step.next == file.size());
    }
    at = step.next;
  }
  FUZZ_CHECK(at == file.size());
}

// The ranges between the cuts, walked in order, each by a reader of its own.
void CheckRangesMakeTheWholeWalk(const VivodStubCollectReaderInitArgs& args,
                                 const std::string& collectPath,
                                 const std::vector<uint64_t>& cuts, const Steps& whole) {
  Steps joined;
  for (std::size_t i = 0; i + 1 < cuts.size(); ++i) {
    Walk(*OpenReader(args, collectPath), cuts.back(), cuts[i], cuts[i + 1], SIZE_MAX, &joined);
  }
  FUZZ_CHECK(joined == whole);
}

// A walk resumed at each offset handed out goes on with the steps after it.
// Two steps are compared, then the walk is stopped: what lies beyond is the
// ranges' check. One reader serves the resumed walks, wherever the last one
// left it, until a walk reads to the end of the file: one that begins inside
// the file and stops short of its steps. The next walk on it must fail then.
// One that begins at the end reads nothing, and the reader goes on.
void CheckResumesGoOn(const VivodStubCollectReaderInitArgs& args, const std::string& collectPath,
                      uint64_t size, const Steps& whole) {
  constexpr std::size_t kCompared = 2;
  auto reader = OpenReader(args, collectPath);
  for (std::size_t i = 0; i < whole.size(); ++i) {
    Steps resumed;
    Walk(*reader, size, whole[i].next, UINT64_MAX, kCompared, &resumed);
    const std::size_t rest = std::min(kCompared, whole.size() - i - 1);
    FUZZ_CHECK(resumed == Steps(whole.begin() + static_cast<std::ptrdiff_t>(i + 1),
                                whole.begin() + static_cast<std::ptrdiff_t>(i + 1 + rest)));
    if (resumed.size() < kCompared && whole[i].next < size) {
      CheckWalkedToEnd(*reader, whole[i].next);
      reader = OpenReader(args, collectPath);
    }
  }
}

// Ranges that begin at or past the end, up to the top of uint64_t: each
// holds nothing, and one reader walks them all, as none reads a line. (In
// an empty file a range at 0 is the whole walk, which reads to the end.)
void CheckPastTheEndHoldsNothing(const VivodStubCollectReaderInitArgs& args,
                                 const std::string& collectPath, uint64_t size, uint16_t bits) {
  constexpr uint64_t kHalf = uint64_t{1} << 63;
  const uint64_t begins[] = {size,       size + 1 + bits, (uint64_t{1} << (bits % 64)) | size,
                             kHalf - 1,  kHalf,           kHalf + bits,
                             UINT64_MAX - bits, UINT64_MAX};
  auto reader = OpenReader(args, collectPath);
  for (const uint64_t begin : begins) {
    if (begin == 0) continue;
    Steps past;
    Walk(*reader, size, begin, UINT64_MAX, SIZE_MAX, &past);
    FUZZ_CHECK(past.empty());
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  ByteReader in(data, size);
  const VivodStubCollectReaderInitArgs args = ChooseArgs(in.Byte());
  std::vector<uint16_t> cutBits(in.Byte() % 16u);
  for (uint16_t& bits : cutBits) bits = static_cast<uint16_t>(in.Number(2));
  const std::string file = in.Rest();
  const std::string collectPath = args.workDir + "/walk_1.lmf";
  WriteFile(collectPath, file);

  const uint64_t fileSize = file.size();
  const std::vector<uint64_t> cuts = CutsOf(cutBits, fileSize);

  Steps whole;
  auto reader = OpenReader(args, collectPath);
  Walk(*reader, fileSize, 0, UINT64_MAX, SIZE_MAX, &whole);
  CheckWalkedToEnd(*reader, cuts[cuts.size() / 2]);
  CheckAccountsForEveryLine(file, whole);
  CheckRangesMakeTheWholeWalk(args, collectPath, cuts, whole);
  CheckResumesGoOn(args, collectPath, fileSize, whole);
  CheckPastTheEndHoldsNothing(args, collectPath, fileSize, cutBits.empty() ? 0 : cutBits.front());
  return 0;
}
