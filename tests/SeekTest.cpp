#include <gtest/gtest.h>
#include <linux/magic.h>
#include <stdlib.h>
#include <sys/vfs.h>

#include <cstdint>
#include <filesystem>
#include <limits>
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

// tmpfs takes a seek to the largest offset that the stream can name, where
// ext4 refuses anything past 16 TiB: the reader leaves it to the file system.
TEST_F(Seeking, LargestOffsetOfTheStreamIsSoughtWhereTheFileSystemTakesIt) {
  struct statfs shm {};
  if (::statfs("/dev/shm", &shm) != 0 || shm.f_type != TMPFS_MAGIC) {
    GTEST_SKIP() << "no tmpfs at /dev/shm";
  }
  char dir[] = "/dev/shm/vscr-seek-XXXXXX";
  ASSERT_NE(nullptr, ::mkdtemp(dir));
  VivodStubCollectReaderInitArgs args = Args();
  args.workDir = dir;
  WriteFile(args.workDir + "/stubs_42.lmf", kFile);
  {
    VivodStubCollectReader reader(args);
    EXPECT_TRUE(reader.Initialize(WriteInputList("/etc/passwd\n")) && reader.Open());
    const auto largest = static_cast<uint64_t>(std::numeric_limits<std::streamoff>::max());
    EXPECT_TRUE(reader.SetSeekOffset(largest)) << reader.m_lastError;
    uint64_t told = 0;
    EXPECT_TRUE(reader.GetSeekOffset(told));
    EXPECT_EQ(largest, told);
  }
  std::filesystem::remove_all(dir);
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
