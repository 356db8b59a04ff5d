// Faults a host meets in production: a job killed in the middle of a lookup,
// and collect or stub files damaged by a crash into huge lines. Whatever
// needs a process of its own (a lookup that ends the process, a peak memory
// measurement) runs in a forked child that reports back through a pipe.
#include <gtest/gtest.h>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "ChildProcess.h"
#include "CollectTestHarness.h"
#include "TemporaryNames.h"
#include "standins/EvDebugControl.h"
#include "standins/FetchIndexInfoControl.h"

namespace {

// The shipped line limit as a number, not taken from LineLimits.h: a library
// built with a fuzz build's scaled-down limits fails the tests at 16 MiB.
constexpr std::size_t kLongestLine = std::size_t{16} * 1024 * 1024;
constexpr std::size_t kGiB = std::size_t{1} << 30;
constexpr long kPeakRssLimitKiB = 64 * 1024;
const std::string kLineTooLong = "Collect file line longer than 16777216 bytes in ";

// A hole: it reads as zero bytes but takes no disk space.
void AppendZeroRun(const std::string& path, std::size_t count) {
  std::filesystem::resize_file(path, std::filesystem::file_size(path) + count);
}

// The walk as Brief tells it, one result a line.
std::string BriefWalk(VivodStubCollectReader& reader) {
  std::string walk;
  for (const Item& item : CollectTest::ReadAll(reader, 100)) walk += Brief(item) + "\n";
  return walk;
}

class Durability : public CollectTest {
 protected:
  Durability() { standin::ResetIndexService(); }

  // A reader that reuses the collect file already at CollectPath().
  std::unique_ptr<VivodStubCollectReader> OpenExistingCollectFile() {
    auto reader = std::make_unique<VivodStubCollectReader>(Args());
    if (!reader->Initialize(WriteInputList("/etc/passwd\n")) || !reader->Open()) {
      throw std::runtime_error("cannot open " + CollectPath() + ": " + reader->m_lastError);
    }
    return reader;
  }

  std::string Logged(const std::string& path, const std::string& output) const {
    return "Writing " + path + " to file [" + output + "].";
  }

  // Converts `stub` into `output` with ':' in a child: "converted" (or
  // "failed" and the message), then each log line cut to 200 bytes; and
  // the child's peak in `peakKiB`.
  static std::vector<std::string> ConvertInChild(const std::string& stub,
                                                 const std::string& output, long* peakKiB) {
    return ReportAndPeakOfChild([&] {
      VivodStubCollectReader reader{VivodStubCollectReaderInitArgs()};
      standin::StartDebugCapture();
      const bool converted = reader.ProcessStubCollectFile(stub, output, ':');
      std::string lines = (converted ? "converted" : "failed") + reader.m_lastError;
      for (const standin::DebugEvent& event : standin::StopDebugCapture()) {
        if (event.kind == "line") lines += "\n" + event.message.substr(0, 200);
      }
      return lines;
    }, peakKiB);
  }
};

TEST_F(Durability, LookupKilledMidwayLeavesOnlyItsTemporaryAndIsRedoneInFull) {
  std::string list;
  for (int i = 1; i <= 50; ++i) list += "/archive/file-" + std::to_string(i) + "\n";
  const std::string input = WriteInputList(list);

  const ChildRun child = RunInChild([&] {
    standin::ExitInsideIndexLookup(20, 77);
    VivodStubCollectReader reader(Args());
    reader.Initialize(input);
    return std::string("Initialize returned");
  });
  ASSERT_TRUE(ExitedWith(child.status, 77)) << child.status << " " << child.report;

  // The dead job's records stand under its temporary name only.
  const std::vector<std::string> entries = SortedEntries(m_dir.path());
  ASSERT_EQ(2u, entries.size());
  EXPECT_EQ("input.lst", entries[0]);
  const std::string leftoverName = entries[1];
  ASSERT_TRUE(IsTemporaryOf(CollectPath(), m_dir.File(leftoverName), child.pid));
  const std::string leftover = ReadFile(m_dir.File(leftoverName));
  EXPECT_EQ(20, std::count(leftover.begin(), leftover.end(), '\n'));

  // The next job looks the file up afresh and gets every record.
  VivodStubCollectReader reader(Args());
  ASSERT_TRUE(reader.Initialize(input)) << reader.m_lastError;
  EXPECT_EQ("", reader.m_lastError);
  ASSERT_TRUE(reader.Open());
  Results every;
  for (int i = 1; i <= 50; ++i) every.push_back("1 /archive/file-" + std::to_string(i));
  every.push_back("0");
  EXPECT_EQ(every, Walk(reader));
  const std::vector<standin::IndexCall> journal = standin::IndexJournal();
  EXPECT_EQ(1, std::count_if(journal.begin(), journal.end(),
                             [](const standin::IndexCall& call) { return call.name == "lookup"; }));
  EXPECT_EQ(leftover, ReadFile(m_dir.File(leftoverName)));
}

// Whether every folder from `path` up lets other users pass.
bool PassableByOthers(std::string path) {
  for (; !path.empty(); path.resize(path.rfind('/'))) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || (info.st_mode & S_IXOTH) == 0) return false;
  }
  return true;
}

// A work dir that jobs may write to but not read, as another user's drop
// box is (mode 1733): it cannot be opened to sync the rename into it, so the
// rename stands unsynced, and the job gets its collect file all the same.
TEST_F(Durability, DropBoxWorkDirGetsTheCollectFileAndKeepsIt) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root, to run the job as another user";
  constexpr uid_t kJobUser = 65534;  // nobody
  ASSERT_EQ(0, ::chmod(m_dir.path().c_str(), 0711));
  if (!PassableByOthers(m_dir.path())) GTEST_SKIP() << "another user cannot reach " << m_dir.path();
  const std::string box = m_dir.File("box");
  ASSERT_EQ(0, ::mkdir(box.c_str(), 0700));
  ASSERT_EQ(0, ::chmod(box.c_str(), 01733));
  const std::string input = WriteInputList("/etc/passwd\n/etc/group\n");
  ASSERT_EQ(0, ::chmod(input.c_str(), 0644));
  VivodStubCollectReaderInitArgs args = Args();
  args.workDir = box;

  const ChildRun child = RunInChild([&] {
    if (::setgroups(0, nullptr) != 0 || ::setgid(kJobUser) != 0 || ::setuid(kJobUser) != 0) {
      return std::string("cannot become the job's user");
    }
    VivodStubCollectReader reader(args);
    if (!reader.Initialize(input)) return "Initialize failed: " + reader.m_lastError;
    if (!reader.Open()) return "Open failed: " + reader.m_lastError;
    return BriefWalk(reader) + "note '" + reader.m_lastError + "'";
  });
  ASSERT_TRUE(ExitedWith(child.status, 0)) << child.status;
  EXPECT_EQ("1 /etc/passwd\n1 /etc/group\n0\nnote ''", child.report);
  // The job's file stays, complete; its temporary is gone.
  EXPECT_EQ(std::vector<std::string>{"stubs_42.lmf"}, SortedEntries(box));
  struct stat info {};
  ASSERT_EQ(0, ::stat((box + "/stubs_42.lmf").c_str(), &info));
  EXPECT_EQ(kJobUser, info.st_uid);
  const std::string records = ReadFile(box + "/stubs_42.lmf");
  EXPECT_EQ(2, std::count(records.begin(), records.end(), '\n'));
}

TEST_F(Durability, ZeroRunInCollectFileIsReportedAndSkippedInBoundedMemory) {
  // A crash left a gigabyte of zero bytes where records should be.
  AppendFile(CollectPath(), Record("/before") + "\n");
  AppendZeroRun(CollectPath(), kGiB);
  AppendFile(CollectPath(), "\n" + Record("/after") + "\n" + Record("/last"));
  long peakKiB = 0;
  const std::vector<std::string> report =
      ReportAndPeakOfChild([&] { return BriefWalk(*OpenExistingCollectFile()); }, &peakKiB);
  const std::string skipped = "-1 " + kLineTooLong + "stubs_42.lmf";
  EXPECT_EQ((std::vector<std::string>{"1 /before", skipped, "1 /after", "1 /last", "0"}), report);
  if (kPeakRssIsMeaningful) { EXPECT_LT(peakKiB, kPeakRssLimitKiB); }
}

TEST_F(Durability, OverlongStubLinesAreSkippedSilentlyInBoundedMemory) {
  // Every long line would yield a path if its length were not checked, and
  // each is followed by a valid line. The conversion reads blocks of 128 KiB
  // into a buffer of at most 16 MiB + 128 KiB, so the lengths sit on both
  // sides of the points where a line's end is found one buffer or more
  // after the skip began.
  constexpr std::size_t kMiB = std::size_t{1} << 20, kBlock = 128 * 1024;
  const std::size_t overlong[] = {
      kLongestLine + 1,           20 * kMiB,
      2 * kLongestLine + kBlock - 1, 2 * kLongestLine + kBlock,
      2 * kLongestLine + kBlock + 1, 2 * kLongestLine + 200 * 1024,
      3 * kLongestLine + 2 * kBlock + 20 * 1024};
  const std::string stub = m_dir.File("stub.txt");
  const std::string output = m_dir.File("paths.txt");
  AppendFile(stub, "host:/first:1\n");
  std::vector<std::string> expected = {"converted", Logged("/first", output)};
  std::string paths = "/first\n";
  for (const std::size_t length : overlong) {
    const std::string after = "/after-" + std::to_string(length);
    AppendFile(stub, "host:/");
    AppendRepeated(stub, "p", length - sizeof "host:/:2" + 1);
    AppendFile(stub, ":2\nhost:" + after + ":3\n");
    expected.push_back(Logged(after, output));
    paths += after + "\n";
  }
  AppendFile(stub, "host:/");
  AppendZeroRun(stub, kGiB);
  AppendFile(stub, ":4\nhost:/last:5");
  expected.push_back(Logged("/last", output));
  paths += "/last\n";
  long peakKiB = 0;
  const std::vector<std::string> report = ConvertInChild(stub, output, &peakKiB);
  EXPECT_EQ(expected, report);
  const std::string written = ReadFile(output);
  EXPECT_TRUE(written == paths) << written.substr(0, 400);
  if (kPeakRssIsMeaningful) { EXPECT_LT(peakKiB, kPeakRssLimitKiB); }
}

TEST_F(Durability, CollectLineOfSixteenMebibytesIsKeptAndOneByteMoreIsNot) {
  // Record() puts 15 bytes around the name field.
  const std::string longest = "/" + std::string(kLongestLine - 16, 'n');
  const std::string tooLong = longest + "n";
  ASSERT_EQ(kLongestLine, Record(longest).size());
  auto reader = OpenReader(Record(longest) + "\n" + Record(tooLong) + "\n" + Record("/next") +
                           "\n" + Record(tooLong));
  const std::vector<Item> items = ReadAll(*reader);
  ASSERT_EQ(5u, items.size());
  EXPECT_EQ(1, items[0].result);
  EXPECT_TRUE(items[0].fileName == longest) << items[0].fileName.size();
  EXPECT_EQ(kLongestLine, items[0].line.size());
  // Too long, with and without its line feed: nothing written, reading goes on.
  for (const std::size_t i : {1u, 3u}) {
    EXPECT_EQ(-1, items[i].result) << i;
    EXPECT_EQ(kLineTooLong + "stubs_42.lmf", items[i].lastError) << i;
    // Not printed: a failure would print 16 MiB.
    EXPECT_TRUE(Untouched(items[i])) << i << ": " << items[i].fileName.size();
  }
  EXPECT_TRUE(items[2].fileName == "/next") << items[2].fileName.size();
  EXPECT_EQ(0, items[4].result);
}

TEST_F(Durability, StubLineOfSixteenMebibytesStillGivesItsPath) {
  const std::string stub = m_dir.File("stub.txt");
  const std::string output = m_dir.File("paths.txt");
  const std::string path = "/" + std::string(kLongestLine - 5, 'p');
  ASSERT_EQ(kLongestLine, ("h:" + path + ":1").size());
  WriteFile(stub, "h:" + path + ":1\nh:" + path + "p:1\nh:/z:1\n");
  VivodStubCollectReader converter{VivodStubCollectReaderInitArgs()};
  standin::StartDebugCapture();
  EXPECT_TRUE(converter.ProcessStubCollectFile(stub, output, ':')) << converter.m_lastError;
  const std::vector<standin::DebugEvent> events = standin::StopDebugCapture();
  EXPECT_TRUE(ReadFile(output) == path + "\n/z\n");
  EXPECT_EQ(2, std::count_if(events.begin(), events.end(), [](const standin::DebugEvent& event) {
              return event.kind == "line";
            }));
}

}  // namespace
