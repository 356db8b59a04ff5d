#include "CollectTestHarness.h"

#include "LineLimits.h"
#include "VivodStubCollectWalk.h"

// The suite runs on the limits that ship. The fuzz build's scaled-down ones
// (FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION) would let the tests that take
// them from LineLimits.h pass on a library that no host may load.
static_assert(vscr::kMaxLineLength == std::size_t{16} * 1024 * 1024 &&
                  vscr::kConversionBlockSize == std::size_t{128} * 1024 &&
                  vscr::kConversionOutputSize == std::size_t{1024} * 1024 &&
                  vscr::kSpareSeparators == 65536,
              "the test suite is built with the shipped line limits only");

std::string Record(const std::string& nameField) {
  return "1,7,4096,10," + nameField + ",1,";
}

VivodStubCollectReaderInitArgs CollectTest::Args() const {
  VivodStubCollectReaderInitArgs args;
  args.collectFileNumber = 42;
  args.workDir = m_dir.path();
  args.collectFilePrefix = "stubs";
  args.jobId = "job-1";
  return args;
}

void CollectTest::WriteCollectFile(const std::string& bytes) const {
  WriteFile(CollectPath(), bytes);
}

std::string CollectTest::WriteInputList(const std::string& lines) const {
  const std::string path = m_dir.File("input.lst");
  WriteFile(path, lines);
  return path;
}

std::unique_ptr<VivodStubCollectReader> CollectTest::OpenReader(
    const std::string& collectBytes) {
  return OpenReader(collectBytes, Args());
}

std::unique_ptr<VivodStubCollectReader> CollectTest::OpenReader(
    const std::string& collectBytes, const VivodStubCollectReaderInitArgs& args) {
  WriteCollectFile(collectBytes);
  auto reader = std::make_unique<VivodStubCollectReader>(args);
  EXPECT_TRUE(reader->Initialize(WriteInputList("/etc/passwd\n"))) << reader->m_lastError;
  EXPECT_TRUE(reader->Open()) << reader->m_lastError;
  return reader;
}

namespace {

std::string DescribeAt(int result, const std::string& text, uint64_t next) {
  return Describe(result, text, text) + " @" + std::to_string(next);
}

}  // namespace

RangeResults WalkRange(VivodStubCollectReader& reader, uint64_t begin, uint64_t end) {
  RangeResults range;
  const bool walked = WalkCollectRange(
      reader, begin, end,
      [&](const std::string& name, const std::string&, uint64_t next) {
        range.results.push_back(DescribeAt(1, name, next));
      },
      [&](const std::string& message, uint64_t next) {
        range.results.push_back(DescribeAt(-1, message, next));
      });
  if (!walked) range.error = reader.m_lastError;
  return range;
}

RangeResults WalkWhole(VivodStubCollectReader& reader) {
  RangeResults whole;
  std::string name, line;
  for (;;) {
    uint64_t after = 0;
    const int result = reader.GetItem(name, line);
    if (result == 0) break;
    if (!reader.GetSeekOffset(after)) {
      whole.error = reader.m_lastError;
      break;
    }
    whole.results.push_back(DescribeAt(result, result == 1 ? name : reader.m_lastError, after));
  }
  return whole;
}

Item CollectTest::ReadOne(VivodStubCollectReader& reader) {
  Item item{0, "untouched", "untouched", ""};
  item.result = reader.GetItem(item.fileName, item.line);
  item.lastError = reader.m_lastError;
  return item;
}

std::vector<Item> CollectTest::ReadAll(VivodStubCollectReader& reader, int limit) {
  std::vector<Item> items;
  for (int i = 0; i < limit; ++i) {
    items.push_back(ReadOne(reader));
    if (items.back().result == 0) break;
  }
  return items;
}

std::string Describe(int result, const std::string& fileName, const std::string& lastError) {
  if (result == 1) return "1 " + fileName;
  return result == -1 ? "-1 " + lastError : std::to_string(result);
}

bool Untouched(const Item& item) {
  return item.fileName == "untouched" && item.line == "untouched";
}

std::string Describe(const Item& item) {
  return Describe(item.result, item.fileName, item.lastError);
}

std::string Brief(const Item& item) {
  if (item.result != 1 || item.fileName.size() <= 64) return Describe(item);
  return "1 " + item.fileName.substr(0, 8) + "... (" + std::to_string(item.fileName.size()) +
         " bytes)";
}

Results Describe(const std::vector<Item>& items) {
  Results results;
  for (const Item& item : items) results.push_back(Describe(item));
  return results;
}

Results Walk(VivodStubCollectReader& reader, int limit) {
  return Describe(CollectTest::ReadAll(reader, limit));
}

bool ConversionTest::Convert(const std::string& input, char delimiter) {
  WriteFile(Input(), input);
  return ConvertFiles(Input(), Output(), delimiter);
}

bool ConversionTest::ConvertFiles(const std::string& input, const std::string& output,
                                  char delimiter) {
  const StandardErrorToFile quiet(LogWriterOutput());
  return CallConversion(input, output, delimiter);
}

bool ConversionTest::CallConversion(const std::string& input, const std::string& output,
                                    char delimiter) {
  return m_reader.ProcessStubCollectFile(input, output, delimiter);
}
