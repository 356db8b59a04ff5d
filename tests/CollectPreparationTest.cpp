#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "CollectTestHarness.h"
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

// The service writes beside the collect file, under a name of this process
// that no reader takes for a collect file.
void ExpectTemporaryOf(const std::string& collectPath, const std::string& written) {
  const std::string stem = collectPath + ".tmp." + std::to_string(::getpid()) + ".";
  ASSERT_EQ(stem, written.substr(0, stem.size()));
  const std::string sequence = written.substr(stem.size());
  EXPECT_FALSE(sequence.empty());
  EXPECT_EQ(std::string::npos, sequence.find_first_not_of("0123456789")) << written;
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
  ExpectTemporaryOf(m_dir.path() + "//job_4294967295.lmf", lookup.args[1]);
  EXPECT_EQ((std::vector<std::string>{"input.lst", "job_4294967295.lmf"}), SortedEntries(m_dir.path()));
}

TEST_F(CollectPreparation, LongPrefixIsNeverCut) {
  VivodStubCollectReaderInitArgs args = Args();
  args.collectFilePrefix = std::string(1500, 'p');
  VivodStubCollectReader reader(args);
  EXPECT_FALSE(reader.Initialize(WriteInputList("/etc/passwd\n")));  // too long for the OS
  EXPECT_EQ(std::string(1500, 'p') + "_42.lmf", reader.m_dstFileName);
  EXPECT_EQ("FetchIndexInfo failed to lookup in Indexing.", reader.m_lastError);
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
  ExpectTemporaryOf(CollectPath(), journal[4].args[1]);
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
  std::string name, line;
  EXPECT_EQ(0, reader.GetItem(name, line));
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

TEST_F(CollectPreparation, FailedLookupLeavesNoPartialFileAndIsRetried) {
  VivodStubCollectReader reader(Args());
  // The service writes the first record, then stops at the relative path.
  EXPECT_FALSE(reader.Initialize(WriteInputList("/etc/passwd\nrelative/path\n")));
  EXPECT_EQ("FetchIndexInfo failed to lookup in Indexing.", reader.m_lastError);
  EXPECT_FALSE(reader.m_initialized);
  EXPECT_EQ(std::vector<std::string>{"input.lst"}, SortedEntries(m_dir.path()));

  EXPECT_TRUE(reader.Initialize(WriteInputList("/etc/passwd\n/etc/group\n")));
  EXPECT_EQ(2, CountCalls("lookup"));
  EXPECT_EQ(2ul, reader.CountLines(CollectPath().c_str()));
  EXPECT_EQ((std::vector<std::string>{"input.lst", "stubs_42.lmf"}), SortedEntries(m_dir.path()));
}

TEST_F(CollectPreparation, LeftoverTemporaryIsNeverTakenForTheCollectFile) {
  // What a job that died mid-lookup leaves: a partial file under a
  // temporary name. The next job looks the collect file up afresh.
  WriteFile(CollectPath() + ".tmp.99999.1", Record("/partial") + "\n");
  VivodStubCollectReader reader(Args());
  ASSERT_TRUE(reader.Initialize(WriteInputList("/etc/passwd\n/etc/group\n")));
  EXPECT_EQ(1, CountCalls("lookup"));
  ASSERT_TRUE(reader.Open());
  const std::vector<Item> items = ReadAll(reader);
  ASSERT_EQ(3u, items.size());
  EXPECT_EQ("/etc/passwd", items[0].fileName);
  EXPECT_EQ("/etc/group", items[1].fileName);
}

TEST_F(CollectPreparation, FailingInitializeKeepsTheInitializedState) {
  VivodStubCollectReader reader(Args());
  ASSERT_TRUE(reader.Initialize(WriteInputList("/etc/passwd\n")));
  EXPECT_FALSE(reader.Initialize(""));
  EXPECT_TRUE(reader.m_initialized);
  EXPECT_TRUE(reader.Open());
}

TEST_F(CollectPreparation, CountLinesCountsWhatLineByLineReadingGives) {
  VivodStubCollectReader reader(Args());
  const auto count = [&](const std::string& bytes) {
    WriteFile(m_dir.File("count.txt"), bytes);
    return reader.CountLines(m_dir.File("count.txt").c_str());
  };
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
  EXPECT_TRUE(reader.m_lastError.empty());
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
  for (const std::size_t size : {1u, 15u, 16u, 17u, 4095u, 70000u, 300000u}) {
    std::string text;
    while (text.size() < size) text += bytes[random() % 7];
    WriteFile(path, text);
    EXPECT_EQ(getlineCount(), reader.CountLines(path.c_str())) << size;
  }
  WriteFile(path, std::string(1 << 20, '\n'));
  EXPECT_EQ(1ul << 20, reader.CountLines(path.c_str()));
}

}  // namespace
