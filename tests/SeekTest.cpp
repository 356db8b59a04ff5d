#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "CollectTestHarness.h"

namespace {

const std::string kFirst = Record("/first");
const std::string kSecond = Record("/second");
const std::string kFile = kFirst + "\n" + kSecond + "\n";

class Seeking : public CollectTest {};

struct SeekCase {
  uint64_t offset;
  int nextResult;
  std::string nextName;
};

TEST_F(Seeking, NextItemStartsAtTheGivenByte) {
  const uint64_t end = kFile.size();
  const SeekCase cases[] = {
      {0, 1, "/first"},
      {kFirst.size() + 1, 1, "/second"},         // start of the second line
      {kFirst.size() + 1 + 2, -1, "untouched"},  // inside it: a short record
      {end, 0, "untouched"},
      {end + 1000, 0, "untouched"},
  };
  for (const SeekCase& c : cases) {
    auto reader = OpenReader(kFile);
    ReadOne(*reader);  // move away from the start first
    // Any offset a file can hold is sought, even one past the end.
    EXPECT_TRUE(reader->SetSeekOffset(c.offset)) << c.offset;
    const Item next = ReadOne(*reader);
    EXPECT_EQ(c.nextResult, next.result) << c.offset;
    EXPECT_EQ(c.nextName, next.fileName) << c.offset;
  }
}

TEST_F(Seeking, UnreachableOffsetsFailTheStreamForGood) {
  for (const uint64_t offset : {uint64_t{1} << 63, UINT64_MAX}) {
    auto reader = OpenReader(kFile);
    EXPECT_FALSE(reader->SetSeekOffset(offset));
    EXPECT_EQ("Seek failed.", reader->m_lastError);
    EXPECT_FALSE(reader->SetSeekOffset(0));
    EXPECT_EQ(0, ReadOne(*reader).result);
  }
}

TEST_F(Seeking, AfterTheEndHasBeenReportedNoSeekSucceeds) {
  auto reader = OpenReader(kFile);
  ReadAll(*reader);
  EXPECT_FALSE(reader->SetSeekOffset(0));
  EXPECT_EQ("Seek failed.", reader->m_lastError);
  EXPECT_EQ(0, ReadOne(*reader).result);
}

TEST_F(Seeking, RewindWorksRightAfterALastLineWithoutLineFeed) {
  auto reader = OpenReader(kFirst + "\n" + kSecond);
  EXPECT_EQ("/first", ReadOne(*reader).fileName);
  EXPECT_EQ("/second", ReadOne(*reader).fileName);
  reader->m_lastError.clear();
  EXPECT_TRUE(reader->SetSeekOffset(kFirst.size() + 1));
  EXPECT_EQ("/second", ReadOne(*reader).fileName);
  EXPECT_TRUE(reader->m_lastError.empty());
}

}  // namespace
