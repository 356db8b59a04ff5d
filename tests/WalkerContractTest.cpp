// What the walker's header promises beyond the rule of ranges: a range past
// the end holds nothing however far past, a successful walk leaves
// m_lastError alone, a second walk is told apart from a FIFO, and the offset
// after a last line without a line feed is the one GetSeekOffset tells.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "CollectTestHarness.h"
#include "VivodStubCollectWalk.h"

namespace {

constexpr char kEarlier[] = "a message from before the walk";
constexpr char kWalkedToEnd[] = "Collect file already read to its end; walk it with a new reader.";

// Two records, the last without a line feed.
const std::string kFile = Record("/a") + "\n" + Record("/b");

using WalkerContract = CollectTest;

TEST_F(WalkerContract, RangeBeginningAtOrPastTheEndHoldsNothingHoweverFar) {
  const uint64_t size = kFile.size();
  for (const uint64_t begin : {size, size + 1, (uint64_t{1} << 44) + 1, uint64_t{1} << 62,
                               uint64_t{1} << 63, UINT64_MAX}) {
    for (const std::string& bytes : {kFile, kFile + "\n"}) {
      auto reader = OpenReader(bytes);
      reader->m_lastError = kEarlier;
      const RangeResults range = WalkRange(*reader, begin, UINT64_MAX);
      EXPECT_EQ("", range.error) << "begin " << begin;
      EXPECT_EQ(Results{}, range.results) << "begin " << begin;
      EXPECT_EQ(kEarlier, reader->m_lastError) << "begin " << begin;
    }
  }
}

// The walker reads the line before a range and gives it up; when that is
// the line feed before a line start, GetItem takes it for an empty line.
TEST_F(WalkerContract, SuccessfulWalkLeavesTheLastErrorUnlessALineWasSkipped) {
  const std::string lineB = Record("/b") + "\n";
  const std::string bytes = Record("/a") + "\n" + lineB + "\n" + Record("/c") + "\n";
  const uint64_t atB = Record("/a").size() + 1;
  struct Case {
    uint64_t begin, end;
    Results results;
    std::string lastError;
  };
  const std::string skipped = "Retreived empty line from collect file stubs_42.lmf";
  const std::string afterEmpty = std::to_string(atB + lineB.size() + 1);
  for (const Case& c : {
           Case{atB, atB + 1, {"1 /b @" + std::to_string(atB + lineB.size())}, kEarlier},
           Case{1, atB + 1, {"1 /b @" + std::to_string(atB + lineB.size())}, kEarlier},
           Case{atB + lineB.size(), atB + lineB.size() + 1, {"-1 " + skipped + " @" + afterEmpty},
                skipped},
       }) {
    auto reader = OpenReader(bytes);
    reader->m_lastError = kEarlier;
    const RangeResults range = WalkRange(*reader, c.begin, c.end);
    EXPECT_EQ("", range.error) << "from " << c.begin;
    EXPECT_EQ(c.results, range.results) << "from " << c.begin;
    EXPECT_EQ(c.lastError, reader->m_lastError) << "from " << c.begin;
  }
}

TEST_F(WalkerContract, SecondWalkAfterAWholeOneIsRefusedAsSuchAndAfterAPartOneWalksAgain) {
  auto reader = OpenReader(kFile + "\n");
  const Results whole = {"1 /a @" + std::to_string(Record("/a").size() + 1),
                         "1 /b @" + std::to_string(kFile.size() + 1)};
  // A range that ends inside the file stops before the end: the next walks.
  EXPECT_EQ(Results{whole[0]}, WalkRange(*reader, 0, 1).results);
  EXPECT_EQ(whole, WalkRange(*reader, 0, UINT64_MAX).results);
  const RangeResults again = WalkRange(*reader, 0, UINT64_MAX);
  EXPECT_EQ(kWalkedToEnd, again.error);
  EXPECT_EQ(Results{}, again.results);
  // A new reader on the same file walks it whole.
  EXPECT_EQ(whole, WalkRange(*OpenReader(kFile + "\n"), 0, UINT64_MAX).results);
}

TEST_F(WalkerContract, OffsetAfterALastLineWithoutLineFeedIsTheOneGetSeekOffsetTells) {
  auto reader = OpenReader(kFile);
  uint64_t told = 0;
  uint64_t handedOut = 0;
  ASSERT_TRUE(WalkCollectRange(
      *reader, 0, UINT64_MAX,
      [&](const std::string&, const std::string&, uint64_t next) {
        handedOut = next;
        EXPECT_TRUE(reader->GetSeekOffset(told));  // allowed inside a callback
      },
      [](const std::string&, uint64_t) {}));
  EXPECT_EQ(kFile.size(), handedOut);
  EXPECT_EQ(told, handedOut);
  // Resuming there, as a checkpoint would, holds nothing.
  EXPECT_EQ(RangeResults{}.results, WalkRange(*OpenReader(kFile), handedOut, UINT64_MAX).results);
}

}  // namespace
