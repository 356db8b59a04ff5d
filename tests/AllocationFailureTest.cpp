// std::bad_alloc passing through GetItem and ProcessStubCollectFile: the
// reader stays usable, no part of an interrupted line is ever delivered,
// out-parameters stay as they were, and no file stays open.
//
// This program replaces operator new and operator delete, together (a
// sanitizer reports a mismatch otherwise), with ones that can fail a chosen
// allocation made while a call is watched.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include "CollectTestHarness.h"

namespace {

// The allocations counted are those made while watching, of at least
// g_minSize bytes; the one that brings g_countdown to zero fails.
bool g_watching = false;
std::size_t g_minSize = 0;
long g_countdown = 0;

void* Allocate(std::size_t size) {
  if (g_watching && size >= g_minSize && g_countdown > 0 && --g_countdown == 0) {
    throw std::bad_alloc();
  }
  void* const block = std::malloc(size == 0 ? 1 : size);
  if (block == nullptr) throw std::bad_alloc();
  return block;
}

void* AllocateOrNull(std::size_t size) noexcept {
  try {
    return Allocate(size);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

}  // namespace

void* operator new(std::size_t size) { return Allocate(size); }
void* operator new[](std::size_t size) { return Allocate(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return AllocateOrNull(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  return AllocateOrNull(size);
}
void operator delete(void* block) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
void operator delete[](void* block, std::size_t) noexcept { std::free(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept { std::free(block); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { std::free(block); }

namespace {

// From now on, the `nth` allocation of at least `minSize` bytes made while
// watching fails; one allocation at most.
void FailAllocation(long nth, std::size_t minSize) {
  g_countdown = nth;
  g_minSize = minSize;
}
// Whether the chosen allocation is still to come.
bool FailurePending() { return g_countdown > 0; }

// Watches the allocations of the calls made in its lifetime.
class Watching {
 public:
  Watching() { g_watching = true; }
  ~Watching() { g_watching = false; }
  Watching(const Watching&) = delete;
  Watching& operator=(const Watching&) = delete;
};

constexpr std::size_t kLargeRequest = std::size_t{1} << 20;

// Every kind of line GetItem passes: records short and long (a name too
// long for the host string's inline room, one far longer than the line
// buffer reserved up front, and one whose last piece outgrows it), an empty
// line, a short record, a line with too many fields, a quoted name, and a
// last line without a line feed.
std::vector<std::string> MixedLines() {
  return {Record("/a"),
          "",
          "1,2,3",
          Record("/wide") + std::string(5000, ','),
          Record("\"/q,x\""),
          Record("/" + std::string(300, 'm')),
          Record("/" + std::string(20000, 'l')),
          Record("/" + std::string(6179, 'g')),  // 6195 bytes: 4095 read, then 2100
          Record("/last")};
}

class AllocationFailure : public CollectTest {
 protected:
  void TearDown() override { FailAllocation(0, 0); }

  // GetItem with the allocations watched; `threw` tells whether
  // std::bad_alloc came out of it.
  static Item WatchedGetItem(VivodStubCollectReader& reader, bool* threw) {
    Item item{0, "untouched", "untouched", ""};
    *threw = false;
    try {
      const Watching watching;
      item.result = reader.GetItem(item.fileName, item.line);
    } catch (const std::bad_alloc&) {
      *threw = true;
    }
    item.lastError = reader.m_lastError;
    return item;
  }

  static uint64_t Offset(VivodStubCollectReader& reader) {
    uint64_t offset = UINT64_MAX;
    EXPECT_TRUE(reader.GetSeekOffset(offset)) << reader.m_lastError;
    return offset;
  }
};

TEST_F(AllocationFailure, BadAllocInsideALongLineGivesUpThatLineAndTheWalkGoesOn) {
  const std::string first = Record("/a");
  const std::string longLine = Record("/" + std::string(std::size_t{12} << 20, 'n'));
  auto reader = OpenReader(first + "\n" + longLine + "\n" + Record("/b") + "\n" + Record("/c"));
  std::string name, line;
  ASSERT_EQ(1, reader->GetItem(name, line));

  // The line text grows past a mebibyte long before the line's end.
  FailAllocation(1, kLargeRequest);
  bool threw = false;
  const Item interrupted = WatchedGetItem(*reader, &threw);
  ASSERT_TRUE(threw);
  EXPECT_TRUE(Untouched(interrupted));
  EXPECT_EQ(first.size() + 1 + longLine.size() + 1, Offset(*reader));
  EXPECT_EQ(Walk(*reader), (Results{"1 /b", "1 /c", "0"}));
}

// Fails each allocation of a walk in turn, one per walk. Whatever call it
// hits gives up at most its own line: the walk goes on from that line or
// the next with exactly the results an undisturbed walk gives there.
TEST_F(AllocationFailure, AnyFailedAllocationOfAWalkLeavesTheReaderUsable) {
  const std::vector<std::string> lines = MixedLines();
  std::string bytes;
  std::vector<uint64_t> starts;  // of each line, then the file's end twice
  for (const std::string& text : lines) {
    starts.push_back(bytes.size());
    bytes += text + "\n";
  }
  bytes.pop_back();  // the last line has no line feed
  starts.insert(starts.end(), 2, bytes.size());
  const Results undisturbed = Walk(*OpenReader(bytes));
  ASSERT_EQ(lines.size() + 1, undisturbed.size());

  int lineKept = 0, lineGivenUp = 0;
  for (long nth = 1;; ++nth) {
    auto reader = OpenReader(bytes);
    FailAllocation(nth, 0);
    std::size_t call = 0;  // the call that threw, if one did
    bool threw = false;
    Item item{};
    for (; call <= lines.size(); ++call) {  // the lines, then the end
      item = WatchedGetItem(*reader, &threw);
      if (threw) break;
    }
    if (FailurePending()) break;  // no allocation was left to fail
    SCOPED_TRACE("allocation " + std::to_string(nth) + ", call " + std::to_string(call));
    ASSERT_TRUE(threw) << "the failed allocation was swallowed";
    EXPECT_TRUE(Untouched(item));
    const uint64_t offset = Offset(*reader);
    ASSERT_TRUE(offset == starts[call] || offset == starts[call + 1]) << offset;
    const std::size_t from = offset == starts[call] ? call : call + 1;
    ++(from == call ? lineKept : lineGivenUp);
    EXPECT_EQ(Walk(*reader),
              Results(undisturbed.begin() + static_cast<long>(from), undisturbed.end()));
  }
  // Failures came both before a line was taken and after.
  EXPECT_GT(lineKept, 0);
  EXPECT_GT(lineGivenUp, 0);
}

// Fails each allocation of Open in turn, the stream's own buffer among
// them: the exception comes out, no descriptor stays open, and a later Open
// reads the whole collect file.
TEST_F(AllocationFailure, FailedAllocationInOpenHoldsNoFileAndALaterOpenWorks) {
  WriteCollectFile(Record("/a") + "\n" + Record("/b") + "\n");
  const std::vector<std::string> descriptors = SortedEntries("/proc/self/fd");
  int failures = 0;
  for (long nth = 1;; ++nth) {
    SCOPED_TRACE("allocation " + std::to_string(nth));
    VivodStubCollectReader reader(Args());
    ASSERT_TRUE(reader.Initialize(WriteInputList("/etc/passwd\n"))) << reader.m_lastError;
    FailAllocation(nth, 0);
    bool threw = false;
    try {
      const Watching watching;
      reader.Open();
    } catch (const std::bad_alloc&) {
      threw = true;
    }
    if (FailurePending()) break;  // no allocation was left to fail
    ASSERT_TRUE(threw) << "the failed allocation was swallowed";
    ++failures;
    EXPECT_EQ(descriptors, SortedEntries("/proc/self/fd"));
    ASSERT_TRUE(reader.Open()) << reader.m_lastError;
    EXPECT_EQ(Walk(reader), (Results{"1 /a", "1 /b", "0"}));
  }
  EXPECT_GT(failures, 0);
}

class ConversionAllocationFailure : public ConversionTest {
 protected:
  void TearDown() override { FailAllocation(0, 0); }

  bool CallConversion(const std::string& input, const std::string& output,
                      char delimiter) override {
    const Watching watching;
    return ConversionTest::CallConversion(input, output, delimiter);
  }
};

// Fails each allocation of a conversion in turn, one per conversion: the
// exception comes out, both files are closed, and m_lastError is kept.
TEST_F(ConversionAllocationFailure, ExceptionPassesThroughWithBothFilesClosed) {
  const std::string longPath = "/" + std::string(std::size_t{3} << 20, 'p');
  WriteFile(Input(), "1,/a:1\n2," + longPath + ":2\n3,/c:3\n");
  const std::vector<std::string> descriptors = SortedEntries("/proc/self/fd");
  int failures = 0;
  for (long nth = 1;; ++nth) {
    SCOPED_TRACE("allocation " + std::to_string(nth));
    m_reader.m_lastError = "earlier";
    FailAllocation(nth, 0);
    bool converted = false;
    bool threw = false;
    try {
      converted = ConvertFiles(Input(), Output());
    } catch (const std::bad_alloc&) {
      threw = true;
    }
    EXPECT_EQ(descriptors, SortedEntries("/proc/self/fd"));
    EXPECT_EQ("earlier", m_reader.m_lastError);
    if (FailurePending()) {  // no allocation was left to fail
      EXPECT_TRUE(converted);
      EXPECT_TRUE(ReadFile(Output()) == "/a\n" + longPath + "\n/c\n");
      break;
    }
    ASSERT_TRUE(threw) << "the failed allocation was swallowed";
    ++failures;
  }
  EXPECT_GT(failures, 0);
}

}  // namespace
