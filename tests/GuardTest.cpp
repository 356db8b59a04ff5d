#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>  // std::remove
#include <string>

#include "ChildProcess.h"
#include "CollectTestHarness.h"

namespace {

class Guards : public CollectTest {};

void ExpectNotReady(VivodStubCollectReader& reader) {
  std::string name = "untouched", line = "untouched";
  EXPECT_EQ(-1, reader.GetItem(name, line));
  EXPECT_EQ("Call Initialize() and Open() first.", reader.m_lastError);
  EXPECT_EQ("untouched", name);
  EXPECT_EQ("untouched", line);
  reader.m_lastError.clear();
  EXPECT_FALSE(reader.SetSeekOffset(0));
  EXPECT_EQ("Call Initialize() and Open() first.", reader.m_lastError);
  reader.m_lastError.clear();
  uint64_t offset = 77;
  EXPECT_FALSE(reader.GetSeekOffset(offset));
  EXPECT_EQ("Call Initialize() and Open() first.", reader.m_lastError);
  EXPECT_EQ(77u, offset);
}

TEST_F(Guards, ReadingAndSeekingNeedInitializeAndOpen) {
  WriteCollectFile(Record("/a") + "\n");
  VivodStubCollectReader reader(Args());
  ExpectNotReady(reader);
  EXPECT_FALSE(reader.Open());
  EXPECT_EQ("Call Initialize() first.", reader.m_lastError);
  ASSERT_TRUE(reader.Initialize(WriteInputList("/etc/passwd\n")));
  ExpectNotReady(reader);
}

// Initialize finds the collect file, which then goes, or a directory in its
// place, which it takes for the file.
TEST_F(Guards, OpenFailsWhileTheCollectFileCannotBeOpenedAndWorksOnceItCan) {
  for (const bool directory : {false, true}) {
    SCOPED_TRACE(directory ? "a directory" : "gone");
    WriteCollectFile(Record("/a") + "\n");
    if (directory) {
      ASSERT_EQ(0, std::remove(CollectPath().c_str()));
      ASSERT_EQ(0, ::mkdir(CollectPath().c_str(), 0755));
    }
    VivodStubCollectReader reader(Args());
    ASSERT_TRUE(reader.Initialize(WriteInputList("/etc/passwd\n")));
    if (!directory) { ASSERT_EQ(0, std::remove(CollectPath().c_str())); }
    EXPECT_FALSE(reader.Open());
    EXPECT_EQ("Failed to open collect file " + CollectPath(), reader.m_lastError);
    EXPECT_FALSE(reader.m_opened);
    ExpectNotReady(reader);

    if (directory) { ASSERT_EQ(0, std::remove(CollectPath().c_str())); }
    WriteCollectFile(Record("/back") + "\n");
    ASSERT_TRUE(reader.Open());
    EXPECT_EQ("/back", ReadOne(reader).fileName);
  }
}

TEST_F(Guards, SecondOpenFailsAndLeavesTheStreamFailed) {
  auto reader = OpenReader(Record("/a") + "\n");
  EXPECT_FALSE(reader->Open());
  EXPECT_EQ("Failed to open collect file " + CollectPath(), reader->m_lastError);
  EXPECT_TRUE(reader->m_opened);
  EXPECT_EQ(0, ReadOne(*reader).result);
  EXPECT_FALSE(reader->SetSeekOffset(0));
  EXPECT_EQ("Seek failed.", reader->m_lastError);
}

// A child that the host forks and execs lists what it holds open: `ls -l`
// of its own descriptors shows the files behind them.
TEST_F(Guards, NoChildOfTheHostInheritsTheOpenCollectFile) {
  auto reader = OpenReader(Record("/a") + "\n");
  // A descriptor opened without O_CLOEXEC shows that the listing sees what
  // a child inherits.
  const std::string inherited = m_dir.File("inherited.txt");
  WriteFile(inherited, "");
  const int fd = ::open(inherited.c_str(), O_RDONLY);
  ASSERT_GE(fd, 0);
  const CommandRun child = RunCommand("ls -l /proc/self/fd/");
  ::close(fd);
  const std::string& listing = child.out;
  EXPECT_EQ(0, child.status) << listing;
  EXPECT_NE(std::string::npos, listing.find(inherited)) << listing;
  EXPECT_EQ(std::string::npos, listing.find(CollectPath())) << listing;
}

TEST_F(Guards, DestroyingAnOpenReaderKeepsTheCollectFile) {
  OpenReader(Record("/a") + "\n").reset();
  EXPECT_EQ(Record("/a") + "\n", ReadFile(CollectPath()));
}

// The state members are public for inspection only; a host that writes them
// anyway gets failures, never a read outside a record.
TEST_F(Guards, StateMembersWrittenByTheHostAreRefused) {
  WriteCollectFile(Record("/a") + "\n");
  VivodStubCollectReader unnamed(Args());
  ASSERT_TRUE(unnamed.Initialize(WriteInputList("/etc/passwd\n")));
  unnamed.m_dstFileName.clear();
  EXPECT_FALSE(unnamed.Open());
  EXPECT_EQ("m_dstFileName is empty.", unnamed.m_lastError);
  EXPECT_FALSE(unnamed.m_opened);

  auto reader = OpenReader(Record("/a") + "\n" + Record("/b") + "\n");
  reader->m_fieldCount = 2;  // would put the name before the first field
  const Item refused = ReadOne(*reader);
  EXPECT_EQ(-1, refused.result);
  EXPECT_EQ("Could not find all desired fields in collect file entry", refused.lastError);
  EXPECT_TRUE(Untouched(refused));
  reader->m_fieldCount = 7;
  EXPECT_EQ("/b", ReadOne(*reader).fileName);
}

}  // namespace
