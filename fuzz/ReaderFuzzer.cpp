// Fuzzes the reader over an arbitrary collect file with a fuzzer-chosen
// field list and count and a mix of GetItem and SetSeekOffset calls.
//
// Input: one byte choosing the field count, one byte for the number of
// calls, three bytes per call (what to call, offset bits), then the collect
// file's bytes.
#include <climits>
#include <cstdint>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "TestFiles.h"
#include "VivodStubCollectReader.h"

namespace {

constexpr char kNotReady[] = "Call Initialize() and Open() first.";
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

// Drives one opened reader and checks what every call promises.
void DriveReader(VivodStubCollectReader* reader, const std::vector<Call>& calls,
                 const std::string& file, bool ready) {
  // Once GetItem has returned 0 or a seek has failed, the stream stays
  // failed: no seek succeeds and no record comes any more.
  bool failed = false;
  for (const Call& call : calls) {
    if (call.op & 1) {
      const bool sought = reader->SetSeekOffset(ChooseOffset(call, file.size()));
      FUZZ_CHECK(!(sought && (failed || !ready)));
      if (!ready) FUZZ_CHECK(reader->m_lastError == kNotReady);
      if (!sought && ready) FUZZ_CHECK(reader->m_lastError == "Seek failed.");
      failed = failed || !sought;
      continue;
    }
    std::string name = kNameSentinel, line = kLineSentinel;
    const int result = reader->GetItem(name, line);
    FUZZ_CHECK(result == -1 || result == 0 || result == 1);
    if (result != 1) {
      FUZZ_CHECK(name == kNameSentinel && line == kLineSentinel);
    } else {
      FUZZ_CHECK(line.find('\n') == std::string::npos);
      FUZZ_CHECK(file.find(line) != std::string::npos);
      FUZZ_CHECK(name.size() <= line.size());
    }
    if (!ready) FUZZ_CHECK(result == -1 && reader->m_lastError == kNotReady);
    if (failed && ready) FUZZ_CHECK(result == 0);
    failed = failed || result == 0;
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
  DriveReader(&reader, calls, file, opened);
  return 0;
}
