#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "CollectTestHarness.h"

namespace {

using namespace std::string_literals;

class ItemReading : public CollectTest {};

TEST_F(ItemReading, DeliversNameAndRawLineOfEveryRecordThenZero) {
  auto reader = OpenReader(Record("/data/a.txt") + "\n" + Record("/data/b.txt") + "\n");
  reader->m_lastError = "earlier";
  const std::vector<Item> items = ReadAll(*reader);
  ASSERT_EQ(3u, items.size());
  EXPECT_EQ(1, items[0].result);
  EXPECT_EQ("/data/a.txt", items[0].fileName);
  EXPECT_EQ(Record("/data/a.txt"), items[0].line);
  EXPECT_EQ("/data/b.txt", items[1].fileName);
  EXPECT_EQ(0, items[2].result);
  EXPECT_EQ("untouched", items[2].fileName);
  EXPECT_EQ("untouched", items[2].line);
  EXPECT_EQ("earlier", items[2].lastError);
}

TEST_F(ItemReading, LineEndingsAreKeptInTheLineAndTrimmedOnceFromTheName) {
  auto reader = OpenReader(Record("/crlf") + "\r\n" +      // CR ends the metadata field
                           Record("/name-cr\r") + "\n" +   // the name's own CR goes
                           Record("/tab-cr\t\r") + "\n" +  // only the last byte goes
                           Record("/tab\t") + "\n" +
                           Record("\r") + "\n" + Record("") + "\n" +
                           Record("/no-line-feed"));
  const std::vector<Item> items = ReadAll(*reader);
  ASSERT_EQ(8u, items.size());
  EXPECT_EQ("/crlf", items[0].fileName);
  EXPECT_EQ(Record("/crlf") + "\r", items[0].line);
  EXPECT_EQ("/name-cr", items[1].fileName);
  EXPECT_EQ("/tab-cr\t", items[2].fileName);
  EXPECT_EQ("/tab", items[3].fileName);
  EXPECT_EQ(1, items[4].result);
  EXPECT_EQ("", items[4].fileName);
  EXPECT_EQ(1, items[5].result);
  EXPECT_EQ("", items[5].fileName);
  EXPECT_EQ("/no-line-feed", items[6].fileName);
  EXPECT_EQ(Record("/no-line-feed"), items[6].line);
  EXPECT_EQ(0, items[7].result);
}

TEST_F(ItemReading, QuotedNamesAreUnquotedAndUnescaped) {
  auto reader = OpenReader(Record("\"/data/a,b.txt\"") + "\n" +
                           Record("\"/x \\\"y\\\"\"") + "\n" +
                           Record("\"C:\\\\dir\"") + "\n" +
                           "1,7,4096,\"10,11\",/after-quoted-size,1,\"m,d\"\n");
  const std::vector<Item> items = ReadAll(*reader);
  ASSERT_EQ(5u, items.size());
  EXPECT_EQ("/data/a,b.txt", items[0].fileName);
  EXPECT_EQ("/x \"y\"", items[1].fileName);
  EXPECT_EQ("C:\\dir", items[2].fileName);
  EXPECT_EQ("/after-quoted-size", items[3].fileName);
}

TEST_F(ItemReading, EmptyLinesAndShortRecordsAreSkippedAndReadingGoesOn) {
  auto reader = OpenReader(Record("/a") + "\n\n" + "1,7,4096,10,/short,1\n" +
                           Record("/b") + ",extra,fields\n\n");
  const std::vector<Item> items = ReadAll(*reader);
  ASSERT_EQ(6u, items.size());
  EXPECT_EQ("/a", items[0].fileName);
  EXPECT_EQ(-1, items[1].result);
  EXPECT_EQ("Retreived empty line from collect file stubs_42.lmf", items[1].lastError);
  EXPECT_EQ("untouched", items[1].fileName);
  EXPECT_EQ("untouched", items[1].line);
  EXPECT_EQ(-1, items[2].result);
  EXPECT_EQ("Could not find all desired fields in collect file entry", items[2].lastError);
  EXPECT_EQ("untouched", items[2].line);
  EXPECT_EQ(1, items[3].result);  // more fields than needed: still the fifth
  EXPECT_EQ("/b", items[3].fileName);
  EXPECT_EQ(-1, items[4].result);  // the blank line before the end
  EXPECT_EQ(0, items[5].result);
}

TEST_F(ItemReading, LongNamesAndLinesAreDeliveredWhole) {
  const std::string name = "/" + std::string(5000, 'n');
  const std::string metadata(4 * 1024 * 1024, 'm');
  auto reader = OpenReader(Record(name) + metadata + "\n");
  const std::vector<Item> items = ReadAll(*reader);
  ASSERT_EQ(2u, items.size());
  EXPECT_EQ(name, items[0].fileName);
  EXPECT_EQ(Record(name) + metadata, items[0].line);
}

TEST_F(ItemReading, BytesAreDeliveredAsTheyAreAndNulEndsTheSplitText) {
  const std::string line = Record("/a") + "\0tail"s;
  const std::string invalidUtf8 = "/\xff\xfe\xc3(\x80";
  auto reader = OpenReader(line + "\n" + "1,7,4096,10,/b\0,1,\n"s +
                           Record(invalidUtf8) + "\n");
  const std::vector<Item> items = ReadAll(*reader);
  ASSERT_EQ(4u, items.size());
  EXPECT_EQ("/a", items[0].fileName);
  EXPECT_EQ(line, items[0].line);
  EXPECT_EQ(-1, items[1].result);  // only "1,7,4096,10,/b" is split
  EXPECT_EQ(invalidUtf8, items[2].fileName);
}

TEST_F(ItemReading, CustomFieldListPutsTheNameThirdFromTheEnd) {
  VivodStubCollectReaderInitArgs args = Args();
  args.fieldList = "full_file_name,isvalid,size";
  args.fieldCount = 3;
  auto reader = OpenReader("/first,1,10\n\"/q,x\",0,\n/short,1\n", args);
  const std::vector<Item> items = ReadAll(*reader);
  ASSERT_EQ(4u, items.size());
  EXPECT_EQ("/first", items[0].fileName);
  EXPECT_EQ("/q,x", items[1].fileName);
  EXPECT_EQ(-1, items[2].result);
}

TEST_F(ItemReading, HugeFieldCountRejectsEveryRecord) {
  VivodStubCollectReaderInitArgs args = Args();
  args.fieldList = "a,b,c";
  args.fieldCount = INT_MAX;
  auto reader = OpenReader(Record("/a") + "\n", args);
  const std::vector<Item> items = ReadAll(*reader);
  ASSERT_EQ(2u, items.size());
  EXPECT_EQ(-1, items[0].result);
  EXPECT_EQ("Could not find all desired fields in collect file entry", items[0].lastError);
}

TEST_F(ItemReading, EmptyCollectFileOpensAndEndsAtOnce) {
  auto reader = OpenReader("");
  const std::vector<Item> items = ReadAll(*reader);
  ASSERT_EQ(1u, items.size());
  EXPECT_EQ(0, items[0].result);
}

}  // namespace
