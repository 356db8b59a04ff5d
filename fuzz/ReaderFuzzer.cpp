// Fuzzes the reader over an arbitrary collect file with a fuzzer-chosen
// field list and count and a mix of GetItem and SetSeekOffset calls, checked
// against a model of the reader: where it reads, what each line gives
// (the line limit, the empty line, the separator bound, too few fields), and
// what m_lastError holds after every call. In the fuzz build the line limit
// and the spare separators are a few dozen (LineLimits.h), so inputs hold
// lines on both sides of each.
//
// Input: one byte choosing the field count, one byte for the number of
// calls, three bytes per call (what to call, offset bits), then the collect
// file's bytes.
#include <algorithm>
#include <climits>
#include <cstdint>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "LineLimits.h"
#include "TestFiles.h"
#include "VivodStubCollectReader.h"

namespace {

constexpr char kNotReady[] = "Call Initialize() and Open() first.";
constexpr char kShortRecord[] = "Could not find all desired fields in collect file entry";
const std::string kNameSentinel = "\x01name untouched";
const std::string kLineSentinel = "\x01line untouched";

// The field list and count of the argument record; an empty list means the
// reader's default of seven fields.
void ChooseFields(uint8_t choice, VivodStubCollectReaderInitArgs* args) {
  static const int32_t kCounts[] = {-1, 0, 1, 2, 3, 4, 5, 6, 7, 8, 64, INT_MAX, INT_MIN};
  const unsigned pick = choice % 14u;
  if (pick == 13) return;  // default list
  args->fieldList = "a,b,full_file_name,c";
  args->fieldCount = kCounts[pick];
}

struct Call {
  uint8_t op;       // odd: SetSeekOffset, even: GetItem
  uint16_t offset;  // raw offset bits for a seek
};

std::vector<Call> ChooseCalls(ByteReader* in) {
  std::vector<Call> calls(in->Byte() % 64u);
  for (Call& call : calls) {
    call.op = in->Byte();
    call.offset = static_cast<uint16_t>(in->Number(2));
  }
  return calls;
}

// Offsets inside the file, just beyond it, beyond the stream's range, or 0.
uint64_t ChooseOffset(const Call& call, uint64_t fileSize) {
  switch ((call.op >> 1) % 4) {
    case 0: return call.offset;
    case 1: return fileSize + (call.offset & 0xff);
    case 2: return (uint64_t{1} << 63) + call.offset;
    default: return 0;
  }
}

// What GetItem gives for one line. The host's tokenizer decides what quotes,
// escapes, white space and a NUL do to the fields, so for a line that holds
// any of them and enough commas the model knows only that it is a record or
// short (`eitherWay`); for other lines it knows the result, the message and
// the name.
struct LineOutcome {
  int result;
  std::string lastError;  // after a -1
  std::string name;       // after a 1
  bool eitherWay;         // a record (1) or short (-1), the tokenizer decides
};

constexpr std::size_t kLongestNameKept = 1023;  // longer: the reader's choice
// The bytes whose effect on the fields the tokenizer decides.
const std::string kTokenizerBytes("\"\\ \t\r\n\v\f\0", 9);

LineOutcome OutcomeOfLine(const std::string& line, int32_t fieldCount,
                          const std::string& fileName) {
  if (line.size() > vscr::kMaxLineLength) {
    return {-1, "Collect file line longer than " + std::to_string(vscr::kMaxLineLength) +
                    " bytes in " + fileName, "", false};
  }
  if (line.empty()) return {-1, "Retreived empty line from collect file " + fileName, "", false};
  const auto commas = static_cast<uint64_t>(std::count(line.begin(), line.end(), ','));
  if (commas > static_cast<uint64_t>(std::max(fieldCount, 0)) + vscr::kSpareSeparators) {
    return {-1, "Collect file line with too many fields in " + fileName, "", false};
  }
  const LineOutcome shortRecord{-1, kShortRecord, "", false};
  // No tokenizer gives more fields than commas + 1.
  if (commas + 1 < static_cast<uint64_t>(fieldCount)) return shortRecord;
  const bool plain = line.find_first_of(kTokenizerBytes) == std::string::npos;
  if (!plain) return {1, "", "", true};
  // A plain line splits at every comma.
  std::size_t start = 0;
  for (int32_t field = 0; field < fieldCount - 3; ++field) start = line.find(',', start) + 1;
  const std::string name = line.substr(start, line.find(',', start) - start);
  if (name.size() > kLongestNameKept) return {1, "", "", true};
  return {1, "", name, false};
}

// The reader's read position and state, as SetSeekOffset and GetItem move
// them, and the m_lastError they leave.
class ReaderModel {
 public:
  ReaderModel(const std::string& file, int32_t fieldCount, const std::string& fileName)
      : m_file(file), m_fieldCount(fieldCount), m_fileName(fileName) {}

  bool Seek(uint64_t offset) {
    if (offset > static_cast<uint64_t>(INT64_MAX)) m_failed = true;
    if (m_failed) {
      lastError = "Seek failed.";
      return false;
    }
    m_position = offset;
    return true;
  }

  // The next line's outcome; result 0 at the end, which fails the stream.
  LineOutcome Read(std::string* line) {
    if (m_failed || m_position >= m_file.size()) {
      m_failed = true;
      return {0, "", "", false};
    }
    std::size_t end = m_file.find('\n', m_position);
    if (end == std::string::npos) end = m_file.size();
    *line = m_file.substr(m_position, end - m_position);
    m_position = std::min<uint64_t>(end + 1, m_file.size());
    const LineOutcome outcome = OutcomeOfLine(*line, m_fieldCount, m_fileName);
    if (outcome.result == -1) lastError = outcome.lastError;
    return outcome;
  }

  std::string lastError;

 private:
  const std::string& m_file;
  int32_t m_fieldCount;
  std::string m_fileName;
  uint64_t m_position = 0;
  bool m_failed = false;
};

// Drives a reader that is ready (Initialized and Open) and checks each
// call against the model.
void DriveReadyReader(VivodStubCollectReader* reader, const std::vector<Call>& calls,
                      const std::string& file, int32_t fieldCount) {
  ReaderModel model(file, fieldCount, "fuzz_1.lmf");
  for (const Call& call : calls) {
    if (call.op & 1) {
      const uint64_t offset = ChooseOffset(call, file.size());
      FUZZ_CHECK(reader->SetSeekOffset(offset) == model.Seek(offset));
      FUZZ_CHECK(reader->m_lastError == model.lastError);
      continue;
    }
    std::string name = kNameSentinel, line = kLineSentinel, modelLine;
    const int result = reader->GetItem(name, line);
    const LineOutcome expected = model.Read(&modelLine);
    if (expected.eitherWay && result == -1) {
      model.lastError = kShortRecord;
    }
    FUZZ_CHECK(result == expected.result || (expected.eitherWay && result == -1));
    FUZZ_CHECK(reader->m_lastError == model.lastError);
    if (result != 1) {
      FUZZ_CHECK(name == kNameSentinel && line == kLineSentinel);
      continue;
    }
    FUZZ_CHECK(line == modelLine);
    FUZZ_CHECK(expected.eitherWay ? name.size() <= line.size() : name == expected.name);
  }
}

// A reader that is not ready refuses every call with one message.
void DriveUnreadyReader(VivodStubCollectReader* reader, const std::vector<Call>& calls) {
  for (const Call& call : calls) {
    std::string name = kNameSentinel, line = kLineSentinel;
    if (call.op & 1) {
      FUZZ_CHECK(!reader->SetSeekOffset(call.offset));
    } else {
      FUZZ_CHECK(reader->GetItem(name, line) == -1);
      FUZZ_CHECK(name == kNameSentinel && line == kLineSentinel);
    }
    FUZZ_CHECK(reader->m_lastError == kNotReady);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  ByteReader in(data, size);
  VivodStubCollectReaderInitArgs args;
  args.workDir = ProcessTempDir().path();
  args.collectFilePrefix = "fuzz";
  args.collectFileNumber = 1;
  ChooseFields(in.Byte(), &args);
  const std::vector<Call> calls = ChooseCalls(&in);
  const std::string file = in.Rest();
  const std::string collectPath = args.workDir + "/fuzz_1.lmf";
  WriteFile(collectPath, file);

  VivodStubCollectReader reader(args);
  const bool usableCount = args.fieldList.empty() || args.fieldCount >= 3;
  const bool initialized = reader.Initialize(collectPath);  // reuses the file
  FUZZ_CHECK(initialized == usableCount);
  FUZZ_CHECK(!initialized || reader.m_lastError.empty());
  const bool opened = initialized && reader.Open();
  FUZZ_CHECK(opened == initialized);
  if (opened) {
    DriveReadyReader(&reader, calls, file, args.fieldList.empty() ? 7 : args.fieldCount);
  } else {
    DriveUnreadyReader(&reader, calls);
  }
  return 0;
}
