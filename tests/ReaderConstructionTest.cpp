#include <gtest/gtest.h>

#include <cstddef>
#include <iterator>

#include "CollectTestHarness.h"

namespace {

constexpr char kDefaultFieldList[] =
    "arch_group_id,arch_file_id,arch_file_offs,file_size,full_file_name,"
    "isvalid,metadata--2048052319";

VivodStubCollectReaderInitArgs FullArgs() {
  VivodStubCollectReaderInitArgs args;
  args.collectFileNumber = 9;
  args.auxNumber = -5;
  args.workDir = "/tmp/w";
  args.collectFilePrefix = "job";
  args.jobId = "j";
  args.lookupParamB = 2;
  args.lookupParamA = 1;
  args.auxText = "aux";
  args.lookupParamC = 3;
  args.lookupText = "text";
  args.fieldCount = 2;
  return args;
}

TEST(ReaderConstruction, EmptyFieldListBecomesTheDefaultSevenFields) {
  const VivodStubCollectReaderInitArgs args = FullArgs();
  const VivodStubCollectReader reader(args);
  EXPECT_EQ(kDefaultFieldList, reader.m_args.fieldList);
  EXPECT_EQ(7, reader.m_fieldCount);
  EXPECT_TRUE(args.fieldList.empty()) << "the caller's record must not change";
}

TEST(ReaderConstruction, GivenFieldListAndCountAreKeptEvenWhenTheyDisagree) {
  VivodStubCollectReaderInitArgs args = FullArgs();
  args.fieldList = "a,b,full_file_name,c,d";
  args.fieldCount = 9;
  const VivodStubCollectReader reader(args);
  EXPECT_EQ("a,b,full_file_name,c,d", reader.m_args.fieldList);
  EXPECT_EQ(9, reader.m_fieldCount);
}

TEST(ReaderConstruction, CopiesEveryArgumentAndStartsEmpty) {
  const VivodStubCollectReaderInitArgs args = FullArgs();
  const VivodStubCollectReader reader(args);
  EXPECT_EQ(9u, reader.m_args.collectFileNumber);
  EXPECT_EQ(-5, reader.m_args.auxNumber);
  EXPECT_EQ("/tmp/w", reader.m_args.workDir);
  EXPECT_EQ("job", reader.m_args.collectFilePrefix);
  EXPECT_EQ("j", reader.m_args.jobId);
  EXPECT_EQ(1u, reader.m_args.lookupParamA);
  EXPECT_EQ(2u, reader.m_args.lookupParamB);
  EXPECT_EQ(3u, reader.m_args.lookupParamC);
  EXPECT_EQ("aux", reader.m_args.auxText);
  EXPECT_EQ("text", reader.m_args.lookupText);
  EXPECT_TRUE(reader.m_dstFileName.empty());
  EXPECT_TRUE(reader.m_lastError.empty());
  EXPECT_TRUE(reader.m_reserved.empty());
  EXPECT_FALSE(reader.m_initialized);
  EXPECT_FALSE(reader.m_opened);
  EXPECT_FALSE(reader.m_useIndexCache);
  EXPECT_FALSE(reader.m_collectStream.is_open());
}

TEST(ReaderConstruction, ArgumentRecordKeepsItsDeclaredLayout) {
  // Host code is compiled against this order; a reordering must not pass.
  using Args = VivodStubCollectReaderInitArgs;
  const std::size_t declared[] = {
      offsetof(Args, collectFileNumber), offsetof(Args, auxNumber),    offsetof(Args, workDir),
      offsetof(Args, collectFilePrefix), offsetof(Args, fieldList),    offsetof(Args, jobId),
      offsetof(Args, lookupParamB),      offsetof(Args, lookupParamA), offsetof(Args, auxText),
      offsetof(Args, lookupParamC),      offsetof(Args, lookupText),   offsetof(Args, fieldCount)};
  for (std::size_t i = 1; i < std::size(declared); ++i) EXPECT_LT(declared[i - 1], declared[i]) << i;
}

}  // namespace
