// Fuzzes WalkCollectRange (VivodStubCollectWalk.h) against the rule of
// ranges: the collect file is cut at fuzzer-chosen points, and the walks of
// the ranges, put together in order, must give exactly the whole walk, every
// record and every skipped line with its offset. A walk resumed at each
// offset that the whole walk handed out must go on with the rest of it, and
// the whole walk must account for every line of the file, in order; a range
// past the end holds nothing. In the fuzz build the line limit and the spare
// separators are a few dozen (LineLimits.h), so skipped lines of every kind
// sit at the cuts too.
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

// A reader that is Initialized (on the collect file already written) and Open.
std::unique_ptr<VivodStubCollectReader> OpenReader(const VivodStubCollectReaderInitArgs& args,
                                                   const std::string& collectPath) {
  auto reader = std::make_unique<VivodStubCollectReader>(args);
  FUZZ_CHECK(reader->Initialize(collectPath) && reader->Open());
  return reader;
}

// Walks [begin, end) and appends its steps; the walk is stopped after
// `limit` of them. The walk must succeed: a regular file is read.
void Walk(VivodStubCollectReader& reader, uint64_t begin, uint64_t end, std::size_t limit,
          Steps* steps) {
  std::size_t taken = 0;
  const bool done = WalkCollectRange(
      reader, begin, end,
      [&](const std::string& name, const std::string& line, uint64_t next) {
        steps->push_back(Step{true, name, line, next});
        return ++taken < limit;
      },
      [&](const std::string& message, uint64_t next) {
        steps->push_back(Step{false, "", message, next});
        return ++taken < limit;
      });
  FUZZ_CHECK(done);
}

// Each step of the whole walk is the next line of the file: a record's line
// is that line, and every offset is where the line after it begins. After a
// last line without a line feed the offset lies at or one past the end.
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
      FUZZ_CHECK(step.next == file.size() || step.next == file.size() + 1);
    }
    at = step.next;
  }
  FUZZ_CHECK(at >= file.size());
}

// The ranges between the cuts, walked in order, each by a reader of its own.
void CheckRangesMakeTheWholeWalk(const VivodStubCollectReaderInitArgs& args,
                                 const std::string& collectPath,
                                 const std::vector<uint64_t>& cuts, const Steps& whole) {
  Steps joined;
  for (std::size_t i = 0; i + 1 < cuts.size(); ++i) {
    Walk(*OpenReader(args, collectPath), cuts[i], cuts[i + 1], SIZE_MAX, &joined);
  }
  FUZZ_CHECK(joined == whole);
}

// A walk resumed at each offset handed out goes on with the steps after it.
// Two steps are compared, then the walk is stopped: what lies beyond is the
// ranges' check. One reader serves the resumed walks, wherever the last one
// left it, until a walk reaches the end of the file and fails its stream.
void CheckResumesGoOn(const VivodStubCollectReaderInitArgs& args, const std::string& collectPath,
                      const Steps& whole) {
  constexpr std::size_t kCompared = 2;
  auto reader = OpenReader(args, collectPath);
  for (std::size_t i = 0; i < whole.size(); ++i) {
    Steps resumed;
    Walk(*reader, whole[i].next, UINT64_MAX, kCompared, &resumed);
    const std::size_t rest = std::min(kCompared, whole.size() - i - 1);
    FUZZ_CHECK(resumed == Steps(whole.begin() + static_cast<std::ptrdiff_t>(i + 1),
                                whole.begin() + static_cast<std::ptrdiff_t>(i + 1 + rest)));
    if (resumed.size() < kCompared) reader = OpenReader(args, collectPath);
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

  Steps whole;
  Walk(*OpenReader(args, collectPath), 0, UINT64_MAX, SIZE_MAX, &whole);
  CheckAccountsForEveryLine(file, whole);
  CheckRangesMakeTheWholeWalk(args, collectPath, CutsOf(cutBits, file.size()), whole);
  CheckResumesGoOn(args, collectPath, whole);
  // A range that begins past the end holds nothing.
  Steps past;
  const uint64_t beyond = file.size() + 1 + (cutBits.empty() ? 0 : cutBits.front());
  Walk(*OpenReader(args, collectPath), beyond, UINT64_MAX, SIZE_MAX, &past);
  FUZZ_CHECK(past.empty());
  return 0;
}
