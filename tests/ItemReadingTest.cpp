#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "CollectTestHarness.h"
#include "LineLimits.h"

namespace {

using namespace std::string_literals;

const std::string kEmptyLine = "-1 Retreived empty line from collect file stubs_42.lmf";
const std::string kShortRecord = "-1 Could not find all desired fields in collect file entry";
const std::string kTooManyFields = "-1 Collect file line with too many fields in stubs_42.lmf";

class ItemReading : public CollectTest {};

TEST_F(ItemReading, DeliversNameAndRawLineOfEveryRecordThenZero) {
  auto reader = OpenReader(Record("/data/a.txt") + "\n" + Record("/data/b.txt") + "\n");
  reader->m_lastError = "earlier";
  const std::vector<Item> items = ReadAll(*reader);
  ASSERT_EQ(Describe(items), (Results{"1 /data/a.txt", "1 /data/b.txt", "0"}));
  EXPECT_EQ(Record("/data/a.txt"), items[0].line);
  EXPECT_TRUE(Untouched(items[2]));
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
  ASSERT_EQ(Describe(items), (Results{"1 /crlf", "1 /name-cr", "1 /tab-cr\t", "1 /tab", "1 ",
                                      "1 ", "1 /no-line-feed", "0"}));
  EXPECT_EQ(Record("/crlf") + "\r", items[0].line);
  EXPECT_EQ(Record("/no-line-feed"), items[6].line);
}

TEST_F(ItemReading, QuotedNamesAreUnquotedAndUnescaped) {
  auto reader = OpenReader(Record("\"/data/a,b.txt\"") + "\n" +
                           Record("\"/x \\\"y\\\"\"") + "\n" +
                           Record("\"C:\\\\dir\"") + "\n" +
                           "1,7,4096,\"10,11\",/after-quoted-size,1,\"m,d\"\n");
  EXPECT_EQ(Walk(*reader), (Results{"1 /data/a,b.txt", "1 /x \"y\"", "1 C:\\dir",
                                    "1 /after-quoted-size", "0"}));
}

TEST_F(ItemReading, EmptyLinesAndShortRecordsAreSkippedAndReadingGoesOn) {
  auto reader = OpenReader(Record("/a") + "\n\n" + "1,7,4096,10,/short,1\n" +
                           Record("/b") + ",extra,fields\n\n");
  const std::vector<Item> items = ReadAll(*reader);
  ASSERT_EQ(Describe(items), (Results{"1 /a", kEmptyLine, kShortRecord,
                                      "1 /b",  // more fields than needed: still the fifth
                                      kEmptyLine, "0"}));
  EXPECT_TRUE(Untouched(items[1]));
  EXPECT_TRUE(Untouched(items[2]));
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
  // Only "1,7,4096,10,/b" of the second line is split.
  ASSERT_EQ(Describe(items), (Results{"1 /a", kShortRecord, "1 " + invalidUtf8, "0"}));
  EXPECT_EQ(line, items[0].line);
}

TEST_F(ItemReading, CustomFieldListPutsTheNameThirdFromTheEnd) {
  VivodStubCollectReaderInitArgs args = Args();
  args.fieldList = "full_file_name,isvalid,size";
  args.fieldCount = 3;
  auto reader = OpenReader("/first,1,10\n\"/q,x\",0,\n/short,1\n", args);
  EXPECT_EQ(Walk(*reader), (Results{"1 /first", "1 /q,x", kShortRecord, "0"}));
}

TEST_F(ItemReading, LineWithMoreCommasThanTheFieldCountAllowsIsSkippedAndReadingGoesOn) {
  // A line may hold the field count plus kSpareSeparators commas, quoted
  // ones included; a record of the default layout holds 6 of its own.
  const std::string commas(7 + vscr::kSpareSeparators - 6, ',');
  auto reader = OpenReader(Record("/at-limit") + commas + "\n" +  // extra empty fields
                           Record("/over") + commas + ",\n" +
                           Record("\"/quoted" + commas + ",\"") + "\n" +
                           std::string(1 << 20, ',') + "\n" +
                           Record("/next"));
  const std::vector<Item> items = ReadAll(*reader);
  ASSERT_EQ(Describe(items), (Results{"1 /at-limit", kTooManyFields, kTooManyFields,
                                      kTooManyFields, "1 /next", "0"}));
  EXPECT_TRUE(Untouched(items[1]));
}

TEST_F(ItemReading, PathsOfCommasUpToPathMaxWithDenseQuotedMetadataAreRecords) {
  // A legal path: 16 components of 254 commas (4080 bytes), and one of
  // PATH_MAX - 1 bytes, all commas after its slash.
  std::string components;
  for (int i = 0; i < 16; ++i) components += "/" + std::string(254, ',');
  const std::string longest = "/" + std::string(4094, ',');
  const auto withMetadata = [](const std::string& path, std::size_t commas) {
    return Record("\"" + path + "\"") + "\"" + std::string(commas, ',') + "\"";
  };
  auto reader = OpenReader(withMetadata(components, 40) + "\n" +
                           withMetadata(longest, 30000) + "\n" +
                           withMetadata(longest, vscr::kSpareSeparators - 4094) + "\n");
  EXPECT_EQ(Walk(*reader), (Results{"1 " + components, "1 " + longest, "1 " + longest, "0"}));
}

TEST_F(ItemReading, CommaLimitFollowsTheFieldCountWithoutOverflow) {
  VivodStubCollectReaderInitArgs args = Args();
  args.fieldList = "wide";
  args.fieldCount = 5000;
  // The name is field 4997, after 4997 commas; `commas` in all.
  const auto wideRecord = [](std::size_t commas) {
    return std::string(4997, ',') + "/wide" + std::string(commas - 4997, ',');
  };
  const std::size_t limit = 5000 + vscr::kSpareSeparators;
  auto wide = OpenReader(wideRecord(limit) + "\n" + wideRecord(limit + 1) + "\n", args);
  EXPECT_EQ(Walk(*wide), (Results{"1 /wide", kTooManyFields, "0"}));

  // With the largest field count the limit passes 32 bits: every record,
  // and a line of many commas, is merely short.
  args.fieldCount = INT_MAX;
  auto huge = OpenReader(Record("/a") + "\n" + std::string(100000, ',') + "\n", args);
  EXPECT_EQ(Walk(*huge), (Results{kShortRecord, kShortRecord, "0"}));
}

TEST_F(ItemReading, EmptyCollectFileOpensAndEndsAtOnce) {
  auto reader = OpenReader("");
  EXPECT_EQ(Walk(*reader), Results{"0"});
}

}  // namespace
