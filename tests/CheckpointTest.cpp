#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "CollectTestHarness.h"

namespace {

constexpr uint64_t kUntouched = 0xDEADBEEF;

// Every kind of line a walk passes: records with LF and CRLF ends, an empty
// line, a short record, a quoted name holding commas, a CRLF empty line and
// a last record without a line feed.
const std::string kMixedFile = Record("/a") + "\n" +            //
                               Record("/b") + "\r\n" +          //
                               "\n" +                           //
                               "1,2,3\n" +                      //
                               Record("\"/c,d,e\"") + "\n" +    //
                               "\r\n" +                         //
                               Record("/f\t") + "\n" +          //
                               Record("/last");

// An item whole: its result, both out-parameters, and the message of a
// skipped line.
std::string Whole(const Item& item) {
  return Describe(item) + " | " + item.fileName + " | " + item.line;
}

// What a walk gave at one position, and the offset taken just before it.
struct Step {
  uint64_t offset;
  Item item;
};

// Walks `reader` to its end, taking the resume offset before every call.
std::vector<Step> WalkWithOffsets(VivodStubCollectReader& reader) {
  std::vector<Step> steps;
  for (int i = 0; i < 100; ++i) {
    Step step{kUntouched, Item{}};
    EXPECT_TRUE(reader.GetSeekOffset(step.offset)) << reader.m_lastError;
    step.item = CollectTest::ReadOne(reader);
    steps.push_back(step);
    if (step.item.result == 0) break;
  }
  return steps;
}

using Checkpoint = CollectTest;

TEST_F(Checkpoint, ResumingAtAnyTakenOffsetRepeatsTheRestOfTheWalk) {
  auto first = OpenReader(kMixedFile);
  const std::vector<Step> steps = WalkWithOffsets(*first);
  ASSERT_EQ(9u, steps.size());  // eight lines, then the end
  EXPECT_EQ(0u, steps.front().offset);
  EXPECT_EQ(kMixedFile.size(), steps.back().offset);  // after a last line without LF

  for (std::size_t from = 0; from < steps.size(); ++from) {
    auto resumed = OpenReader(kMixedFile);
    ASSERT_TRUE(resumed->SetSeekOffset(steps[from].offset)) << resumed->m_lastError;
    Results expected, got;
    for (std::size_t i = from; i < steps.size(); ++i) expected.push_back(Whole(steps[i].item));
    for (const Item& item : ReadAll(*resumed)) got.push_back(Whole(item));
    EXPECT_EQ(expected, got) << "resumed at " << steps[from].offset;
  }
}

// A host stores the offset that WalkCollectRange hands out with a record
// (or a skipped line) and resumes a later walk there.
TEST_F(Checkpoint, WalkResumedAtAnyOffsetTheWalkerHandsOutGivesTheRestOfTheWalk) {
  auto first = OpenReader(kMixedFile);
  const RangeResults whole = WalkRange(*first, 0, UINT64_MAX);
  ASSERT_EQ("", whole.error);
  ASSERT_EQ(8u, whole.results.size());
  EXPECT_EQ(whole.results, WalkWhole(*OpenReader(kMixedFile)).results);
  for (std::size_t i = 0; i < whole.results.size(); ++i) {
    const std::string& taken = whole.results[i];
    const uint64_t next = std::stoull(taken.substr(taken.rfind('@') + 1));
    const RangeResults rest = WalkRange(*OpenReader(kMixedFile), next, UINT64_MAX);
    EXPECT_EQ("", rest.error);
    EXPECT_EQ(Results(whole.results.begin() + static_cast<long>(i) + 1, whole.results.end()),
              rest.results)
        << "resumed after " << taken;
  }
}

TEST_F(Checkpoint, OffsetIsTheNextUnreadByteAndTakingItChangesNothing) {
  auto reader = OpenReader(Record("/a") + "\n" + Record("/b"));
  uint64_t offset = kUntouched;
  ReadOne(*reader);
  ASSERT_TRUE(reader->GetSeekOffset(offset));
  EXPECT_EQ(Record("/a").size() + 1, offset);
  EXPECT_EQ("/b", ReadOne(*reader).fileName);
  // At the end of a last line without a line feed the stream is not failed:
  // the offset is the file size, and the reader can still be rewound.
  ASSERT_TRUE(reader->GetSeekOffset(offset));
  EXPECT_EQ(2 * Record("/a").size() + 1, offset);
  ASSERT_TRUE(reader->GetSeekOffset(offset));
  EXPECT_TRUE(reader->SetSeekOffset(0)) << reader->m_lastError;
  EXPECT_EQ("/a", ReadOne(*reader).fileName);
  // Back to the same place through the offset taken there.
  ASSERT_TRUE(reader->SetSeekOffset(Record("/a").size() + 1));
  EXPECT_EQ("/b", ReadOne(*reader).fileName);
}

TEST_F(Checkpoint, OffsetIsRefusedBeforeOpenAndOnAFailedStream) {
  uint64_t offset = kUntouched;
  VivodStubCollectReader unopened(Args());
  EXPECT_FALSE(unopened.GetSeekOffset(offset));
  EXPECT_EQ("Call Initialize() and Open() first.", unopened.m_lastError);
  WriteCollectFile(Record("/a") + "\n");
  ASSERT_TRUE(unopened.Initialize(WriteInputList("/etc/passwd\n")));
  EXPECT_FALSE(unopened.GetSeekOffset(offset));
  EXPECT_EQ("Call Initialize() and Open() first.", unopened.m_lastError);

  auto ended = OpenReader(Record("/a") + "\n");
  EXPECT_EQ(1, ReadOne(*ended).result);
  EXPECT_EQ(0, ReadOne(*ended).result);
  EXPECT_FALSE(ended->GetSeekOffset(offset));
  EXPECT_EQ("Read offset not available.", ended->m_lastError);

  auto sunk = OpenReader(Record("/a") + "\n");
  EXPECT_FALSE(sunk->SetSeekOffset(uint64_t{1} << 63));
  EXPECT_FALSE(sunk->GetSeekOffset(offset));
  EXPECT_EQ("Read offset not available.", sunk->m_lastError);
  EXPECT_EQ(kUntouched, offset);  // written only on success
}

}  // namespace
