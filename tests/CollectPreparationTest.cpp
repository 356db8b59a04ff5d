#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <random>
#include <set>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "CollectTestHarness.h"
#include "TemporaryNames.h"
#include "standins/FetchIndexInfoControl.h"

namespace {

using standin::IndexCall;
using standin::IndexJournal;

std::vector<std::string> CallNames() {
  std::vector<std::string> names;
  for (const IndexCall& call : IndexJournal()) names.push_back(call.name);
  return names;
}

long CountCalls(const std::string& name) {
  const std::vector<std::string> names = CallNames();
  return std::count(names.begin(), names.end(), name);
}

// The first call of that name; an empty call when there is none.
IndexCall FindCall(const std::string& name) {
  for (const IndexCall& call : IndexJournal()) {
    if (call.name == name) return call;
  }
  return IndexCall();
}

// Every test starts with an empty journal and no forced results.
class CollectPreparation : public CollectTest {
 protected:
  CollectPreparation() { standin::ResetIndexService(); }
};

TEST_F(CollectPreparation, MissingInputFailsBeforeNamingTheCollectFile) {
  for (const std::string& input : {std::string(), m_dir.File("absent.lst")}) {
    VivodStubCollectReader reader(Args());
    EXPECT_FALSE(reader.Initialize(input));
    EXPECT_EQ("Input file is empty or not present.", reader.m_lastError);
    EXPECT_TRUE(reader.m_dstFileName.empty());
    EXPECT_FALSE(reader.m_initialized);
  }
  EXPECT_TRUE(IndexJournal().empty());
}

TEST_F(CollectPreparation, FieldCountBelowThreeFailsBeforeAnythingElse) {
  VivodStubCollectReaderInitArgs args = Args();
  args.fieldList = "full_file_name,isvalid";
  args.fieldCount = 2;
  VivodStubCollectReader reader(args);
  EXPECT_FALSE(reader.Initialize(""));  // even before the input check
  EXPECT_EQ("Field count must be at least 3.", reader.m_lastError);
  EXPECT_FALSE(reader.Initialize(WriteInputList("/etc/passwd\n")));
  EXPECT_EQ("Field count must be at least 3.", reader.m_lastError);
  EXPECT_TRUE(reader.m_dstFileName.empty());
  EXPECT_TRUE(IndexJournal().empty());
  EXPECT_FALSE(FileExists(CollectPath()));
}

TEST_F(CollectPreparation, CollectFileIsNamedFromPrefixAndNumberInWorkDir) {
  VivodStubCollectReaderInitArgs args = Args();
  args.collectFilePrefix = "job";
  args.collectFileNumber = 4294967295u;
  args.workDir = m_dir.path() + "/";  // the separator is inserted all the same
  VivodStubCollectReader reader(args);
  ASSERT_TRUE(reader.Initialize(WriteInputList("/etc/passwd\n"))) << reader.m_lastError;
  EXPECT_EQ("job_4294967295.lmf", reader.m_dstFileName);
  const IndexCall lookup = FindCall("lookup");
  ASSERT_EQ(8u, lookup.args.size());
  EXPECT_TRUE(IsTemporaryOf(m_dir.path() + "//job_4294967295.lmf", lookup.args[1], ::getpid()));
  EXPECT_EQ((std::vector<std::string>{"input.lst", "job_4294967295.lmf"}), SortedEntries(m_dir.path()));
}

TEST_F(CollectPreparation, LongPrefixIsNeverCut) {
  VivodStubCollectReaderInitArgs args = Args();
  args.collectFilePrefix = std::string(1500, 'p');
  VivodStubCollectReader reader(args);
  EXPECT_FALSE(reader.Initialize(WriteInputList("/etc/passwd\n")));  // too long for the OS
  EXPECT_EQ(std::string(1500, 'p') + "_42.lmf", reader.m_dstFileName);
  // Such a name can never be published, so no lookup is spent on it.
  EXPECT_EQ("Failed to publish collect file " + m_dir.File(reader.m_dstFileName),
            reader.m_lastError);
  EXPECT_EQ(0, CountCalls("lookup"));
  EXPECT_EQ(std::vector<std::string>{"input.lst"}, SortedEntries(m_dir.path()));
}

// A prefix that makes the collect file name `length` bytes long. "\xc3\xa9"
// (two bytes) fills it from byte `offset` on, so that a temporary's stem,
// cut at one place in every name, meets a sequence start in one name and
// its middle in the other.
std::string PrefixForNameOf(std::size_t length, std::size_t offset) {
  std::string prefix(offset, 'p');
  const std::size_t prefixLength = length - std::string("_42.lmf").size();
  while (prefix.size() + 2 <= prefixLength) prefix += "\xc3\xa9";
  return prefix + std::string(prefixLength - prefix.size(), 'q');
}

TEST_F(CollectPreparation, NamesUpToNameMaxArePublishedUnderTemporariesThatFit) {
  const long nameMax = ::pathconf(m_dir.path().c_str(), _PC_NAME_MAX);
  ASSERT_EQ(255, nameMax) << "the lengths below assume a NAME_MAX of 255";
  WriteFile(m_dir.File("a"), "1");
  const std::string input = WriteInputList(m_dir.File("a") + "\n/etc/passwd\n");
  // The last: a stem of bytes that all continue a UTF-8 sequence, which
  // the cut must not walk back past.
  for (const std::string& prefix : {PrefixForNameOf(200, 0), PrefixForNameOf(240, 1),
                                    PrefixForNameOf(255, 0), std::string(248, '\x80')}) {
    const std::size_t length = prefix.size() + std::string("_42.lmf").size();
    VivodStubCollectReaderInitArgs args = Args();
    args.collectFilePrefix = prefix;
    VivodStubCollectReader reader(args);
    ASSERT_TRUE(reader.Initialize(input)) << length << ": " << reader.m_lastError;
    ASSERT_EQ(length, reader.m_dstFileName.size());
    EXPECT_TRUE(IsTemporaryOf(m_dir.File(reader.m_dstFileName), FindCall("lookup").args.at(1),
                              ::getpid()));
    ASSERT_TRUE(reader.Open()) << reader.m_lastError;
    EXPECT_EQ((Results{"1 " + m_dir.File("a"), "1 /etc/passwd", "0"}), Walk(reader)) << length;
    EXPECT_EQ((std::vector<std::string>{"a", "input.lst", reader.m_dstFileName}),
              SortedEntries(m_dir.path()));
    std::remove(m_dir.File(reader.m_dstFileName).c_str());
    standin::ResetIndexService();
  }
}

// The stem of the longest name is cut to the same bytes every time, so
// only the random part tells the temporaries apart.
TEST_F(CollectPreparation, TwoHundredLookupsOfTheLongestNameUseDistinctTemporaries) {
  const std::string input = WriteInputList("/etc/passwd\n");
  VivodStubCollectReaderInitArgs args = Args();
  args.collectFilePrefix = PrefixForNameOf(255, 1);
  const std::string collectPath = m_dir.File(PrefixForNameOf(255, 1) + "_42.lmf");
  for (int i = 0; i < 200; ++i) {
    VivodStubCollectReader reader(args);
    ASSERT_TRUE(reader.Initialize(input)) << reader.m_lastError;
    ASSERT_EQ(0, std::remove(collectPath.c_str()));
  }
  std::set<std::string> temporaries;
  for (const IndexCall& call : IndexJournal()) {
    if (call.name != "lookup") continue;
    EXPECT_TRUE(IsTemporaryOf(collectPath, call.args.at(1), ::getpid()));
    temporaries.insert(call.args.at(1));
  }
  EXPECT_EQ(200u, temporaries.size());
}

TEST_F(CollectPreparation, WorkDirWithANulByteIsRefusedBeforeTheCollectFileIsNamed) {
  // Cut at the NUL, the work dir names a folder that holds a collect file of
  // that name, which would be reused; the input list is there too.
  WriteCollectFile(Record("/unrelated") + "\n");
  const std::string input = WriteInputList("/etc/passwd\n");
  for (const std::string& tail : {std::string("/sub"), std::string()}) {
    VivodStubCollectReaderInitArgs args = Args();
    args.workDir = m_dir.path() + std::string(1, '\0') + tail;
    VivodStubCollectReader reader(args);
    reader.m_lastError = "earlier";
    EXPECT_FALSE(reader.Initialize(input));
    EXPECT_EQ("Work directory holds a NUL byte.", reader.m_lastError);
    EXPECT_TRUE(reader.m_dstFileName.empty());
    EXPECT_FALSE(reader.m_initialized);
    EXPECT_FALSE(reader.Open());
    // The input check still comes first.
    EXPECT_FALSE(reader.Initialize(m_dir.File("absent.lst")));
    EXPECT_EQ("Input file is empty or not present.", reader.m_lastError);
  }
  EXPECT_TRUE(IndexJournal().empty());
}

TEST_F(CollectPreparation, ExistingCollectFileIsReusedWithoutLookup) {
  WriteCollectFile("");  // even an empty file counts as prepared
  VivodStubCollectReader reader(Args());
  reader.m_lastError = "earlier";
  EXPECT_TRUE(reader.Initialize(WriteInputList("/etc/passwd\n")));
  EXPECT_TRUE(reader.m_initialized);
  EXPECT_EQ("earlier", reader.m_lastError);
  EXPECT_EQ("stubs_42.lmf", reader.m_dstFileName);
  EXPECT_TRUE(IndexJournal().empty());
  EXPECT_EQ("", ReadFile(CollectPath()));
}

TEST_F(CollectPreparation, LookupCallsTheServiceInOrderWithTheRecordsArguments) {
  VivodStubCollectReaderInitArgs args = Args();
  args.lookupParamA = 11;
  args.lookupParamB = 22;
  args.lookupParamC = 33;
  args.lookupText = "lookup text";
  VivodStubCollectReader reader(args);
  const std::string input = WriteInputList("/etc/passwd\n");
  ASSERT_TRUE(reader.Initialize(input)) << reader.m_lastError;

  EXPECT_EQ((std::vector<std::string>{"construct", "setInitFlags", "setCacheType",
                                      "initByCurrentJobId", "lookup", "destroy"}),
            CallNames());
  std::vector<IndexCall> journal = IndexJournal();
  EXPECT_EQ(std::vector<std::string>{std::to_string(0x2080861)}, journal[1].args);
  EXPECT_EQ(std::vector<std::string>{"0"}, journal[2].args);
  // lookupParamA is the second argument, lookupParamB the third.
  EXPECT_EQ((std::vector<std::string>{"job-1", "11", "22", "33", "lookup text"}),
            journal[3].args);
  ASSERT_EQ(8u, journal[4].args.size());
  EXPECT_TRUE(IsTemporaryOf(CollectPath(), journal[4].args[1], ::getpid()));
  journal[4].args[1] = "temporary";
  EXPECT_EQ((std::vector<std::string>{
                input, "temporary",
                "arch_group_id,arch_file_id,arch_file_offs,file_size,full_file_name,"
                "isvalid,metadata--2048052319",
                ",", "&", "512", "", "0"}),
            journal[4].args);
  EXPECT_TRUE(reader.m_initialized);
  EXPECT_TRUE(reader.m_lastError.empty());
}

TEST_F(CollectPreparation, IndexCacheFlagSelectsCacheTypeTwo) {
  VivodStubCollectReader reader(Args());
  reader.m_useIndexCache = true;
  ASSERT_TRUE(reader.Initialize(WriteInputList("/etc/passwd\n")));
  EXPECT_EQ(std::vector<std::string>{"2"}, FindCall("setCacheType").args);
}

TEST_F(CollectPreparation, PreparedFileIsReadBackRecordByRecord) {
  const std::string odd = m_dir.File("a, \"quoted\" \\name ");
  WriteFile(odd, "12345");
  auto reader = std::make_unique<VivodStubCollectReader>(Args());
  ASSERT_TRUE(reader->Initialize(WriteInputList("/etc/passwd\n\n/archive/gone.txt\n" + odd + "\n")));
  ASSERT_TRUE(reader->Open());
  const std::vector<Item> items = ReadAll(*reader);
  ASSERT_EQ(4u, items.size());
  EXPECT_EQ("/etc/passwd", items[0].fileName);
  EXPECT_EQ("/archive/gone.txt", items[1].fileName);
  EXPECT_EQ("1,2,", items[1].line.substr(0, 4));
  EXPECT_EQ(",0,", items[1].line.substr(items[1].line.size() - 3));  // missing: invalid
  EXPECT_EQ(odd, items[2].fileName);
  EXPECT_NE(std::string::npos, items[2].line.find(",5,\"")) << items[2].line;  // its size
  EXPECT_EQ(0, items[3].result);
  // Repeated Initialize reuses the file: one lookup in all.
  EXPECT_TRUE(reader->Initialize(WriteInputList("/etc/passwd\n")));
  EXPECT_EQ(1, CountCalls("lookup"));
}

TEST_F(CollectPreparation, EmptyLookupResultIsNotedButNotAFailure) {
  VivodStubCollectReader reader(Args());
  EXPECT_TRUE(reader.Initialize(WriteInputList("\n\n")));
  EXPECT_TRUE(reader.m_initialized);
  EXPECT_EQ("FetchIndexInfo returned emtpy file.", reader.m_lastError);
  ASSERT_TRUE(reader.Open());
  EXPECT_EQ(Results{"0"}, Walk(reader));
}

TEST_F(CollectPreparation, InitFailureStopsBeforeLookup) {
  standin::ForceIndexResult("initByCurrentJobId", 5);
  VivodStubCollectReader reader(Args());
  EXPECT_FALSE(reader.Initialize(WriteInputList("/etc/passwd\n")));
  EXPECT_EQ("FetchIndexInfo failed to init.", reader.m_lastError);
  EXPECT_FALSE(reader.m_initialized);
  EXPECT_EQ((std::vector<std::string>{"construct", "setInitFlags", "setCacheType",
                                      "initByCurrentJobId", "destroy"}),
            CallNames());
}

TEST_F(CollectPreparation, FailedOrThrowingLookupLeavesNoPartialFileAndIsRetried) {
  VivodStubCollectReader reader(Args());
  // The service writes the first record, then stops at the relative path.
  EXPECT_FALSE(reader.Initialize(WriteInputList("/etc/passwd\nrelative/path\n")));
  EXPECT_EQ("FetchIndexInfo failed to lookup in Indexing.", reader.m_lastError);
  EXPECT_FALSE(reader.m_initialized);
  EXPECT_EQ(std::vector<std::string>{"input.lst"}, SortedEntries(m_dir.path()));

  // A service that throws after writing a record leaves nothing behind either.
  standin::ThrowInsideIndexLookup(1);
  EXPECT_THROW(reader.Initialize(WriteInputList("/etc/passwd\n/etc/group\n")), std::bad_alloc);
  EXPECT_EQ(std::vector<std::string>{"input.lst"}, SortedEntries(m_dir.path()));
  standin::ResetIndexService();

  EXPECT_TRUE(reader.Initialize(WriteInputList("/etc/passwd\n/etc/group\n")));
  EXPECT_EQ(1, CountCalls("lookup"));
  EXPECT_EQ(2ul, reader.CountLines(CollectPath().c_str()));
  EXPECT_EQ((std::vector<std::string>{"input.lst", "stubs_42.lmf"}), SortedEntries(m_dir.path()));
}

TEST_F(CollectPreparation, FailingInitializeKeepsTheInitializedState) {
  VivodStubCollectReader reader(Args());
  ASSERT_TRUE(reader.Initialize(WriteInputList("/etc/passwd\n")));
  EXPECT_FALSE(reader.Initialize(""));
  EXPECT_TRUE(reader.m_initialized);
  EXPECT_TRUE(reader.Open());
}

// What cannot be counted is 0 lines, and CountLines sets no message.
TEST_F(CollectPreparation, CountLinesCountsWhatLineByLineReadingGives) {
  VivodStubCollectReader reader(Args());
  reader.m_lastError = "earlier";
  const auto count = [&](const std::string& bytes) {
    WriteFile(m_dir.File("count.txt"), bytes);
    return reader.CountLines(m_dir.File("count.txt").c_str());
  };
  EXPECT_EQ(0ul, reader.CountLines(nullptr));
  EXPECT_EQ(0ul, reader.CountLines(m_dir.File("missing").c_str()));
  EXPECT_EQ(0ul, reader.CountLines(m_dir.path().c_str()));  // a directory
  EXPECT_EQ(0ul, count(""));
  EXPECT_EQ(1ul, count("\n"));
  EXPECT_EQ(2ul, count("\n\n"));
  EXPECT_EQ(1ul, count("no line feed"));
  EXPECT_EQ(2ul, count("a\nb"));
  EXPECT_EQ(2ul, count("a\r\nb\r\n"));
  // Across block boundaries, with a last line that has no line feed.
  std::string many;
  for (int i = 0; i < 200000; ++i) many += "record " + std::to_string(i) + "\n";
  EXPECT_EQ(200001ul, count(many + "tail"));
  EXPECT_EQ(1ul, count(std::string(300000, 'x')));
  EXPECT_EQ("earlier", reader.m_lastError);
  EXPECT_TRUE(reader.m_dstFileName.empty());
  EXPECT_FALSE(reader.m_initialized);
}

TEST_F(CollectPreparation, CountLinesAgreesWithGetlineOnDenseAndSparseLineFeeds) {
  VivodStubCollectReader reader(Args());
  const std::string path = m_dir.File("count.txt");
  const auto getlineCount = [&] {
    std::ifstream in(path, std::ios::binary);
    unsigned long lines = 0;
    for (std::string line; std::getline(in, line);) ++lines;
    return lines;
  };
  // Line feeds back to back for long stretches, lines of every length
  // around sixteen bytes, and other bytes that sit next to '\n' in value.
  std::mt19937 random(77);
  const std::string bytes[] = {"\n", "\n", "\r", "\x0b", "\t", "\x8a", "x"};
  // Sizes around each width the counter steps by (a word of 8 bytes,
  // vectors of 16 and 32, steps of 64 and 128) and around the 255 steps
  // after which the vector counters sum their lanes.
  for (const std::size_t size : {1u, 7u, 8u, 9u, 15u, 16u, 17u, 31u, 33u, 63u, 64u, 65u, 127u, 128u,
                                 129u, 4080u, 4095u, 16319u, 16320u, 16321u, 32639u, 32640u, 32641u,
                                 70000u, 300000u}) {
    std::string text;
    while (text.size() < size) text += bytes[random() % 7];
    WriteFile(path, text);
    EXPECT_EQ(getlineCount(), reader.CountLines(path.c_str())) << size;
  }
  WriteFile(path, std::string(1 << 20, '\n'));
  EXPECT_EQ(1ul << 20, reader.CountLines(path.c_str()));
}

}  // namespace
