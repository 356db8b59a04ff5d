// What the conversion writes and the messages it leaves. Nothing here looks
// at the log writer, so these tests run against any host's libDivorar; the
// log lines themselves are checked over the stand-in (StubConversionLogTest).
// The fixture keeps whatever the log writer writes off the terminal.
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "CollectTestHarness.h"
#include "StubLineCases.h"

namespace {

using namespace std::string_literals;

class StubConversion : public ConversionTest {};

TEST_F(StubConversion, EachLineYieldsThePathBetweenFirstDelimiterAndLastColon) {
  for (const StubLineCase& c : StubLineCases()) {
    ASSERT_TRUE(Convert(c.line + "\n")) << c.line;
    const std::string expected = c.written.empty() ? "" : c.written + "\n";
    EXPECT_EQ(expected, ReadFile(Output())) << c.line;
  }
}

TEST_F(StubConversion, PathsAreWrittenInInputOrderAndSuccessKeepsTheLastError) {
  m_reader.m_lastError = "earlier";
  ASSERT_TRUE(Convert("1,/a:1\n\n2,/b\nnothing\n3,/c:x:y"));  // no final line feed
  EXPECT_EQ("/a\n/b\n/c:x\n", ReadFile(Output()));
  EXPECT_EQ("earlier", m_reader.m_lastError);
}

TEST_F(StubConversion, TabDelimiterSplitsAfterTheFinalTabIsRemoved) {
  ASSERT_TRUE(Convert("17\t/data/a.txt\t\n17\t/x\ty:1\n", '\t'));
  EXPECT_EQ("/data/a.txt\n/x\ty\n", ReadFile(Output()));
}

TEST_F(StubConversion, InputWithoutUsableLinesEmptiesTheOutput) {
  WriteFile(Output(), "old content\n");
  ASSERT_TRUE(Convert("\n17,\nno delimiter\n"));
  EXPECT_EQ("", ReadFile(Output()));
}

// Each failure names its file; the input stays as it was, and so does an
// output that was not opened, or stays absent. A path longer than the
// output block is written straight through, alone and after paths that
// wait in the block. /proc/self/mem opens, but its first read fails.
TEST_F(StubConversion, FailuresNameTheirFileAndLeaveTheInputAlone) {
  ASSERT_EQ(0, ::symlink(Input().c_str(), m_dir.File("alias.txt").c_str()));
  const std::string missing = m_dir.File("missing.txt"), newFile = m_dir.File("new.txt");
  const std::string noDir = m_dir.File("no-such-dir/paths.txt");
  const std::string same = "Input and output are the same file [" + Input() + "].";
  const std::string full = "Failed to write output file [/dev/full].";
  const std::string longLine = "17,/" + std::string(2 * 1024 * 1024, 'p') + "\n";
  struct Case {
    std::string stubs, input, output, message;
  };
  const Case cases[] = {
      {"17,/a\n", missing, Output(), "Failed to open input file [" + missing + "]."},
      {"17,/a\n", m_dir.path(), Output(), "Failed to open input file [" + m_dir.path() + "]."},
      {"17,/a\n", missing, newFile, "Failed to open input file [" + missing + "]."},
      {"17,/a\n", Input(), noDir, "Failed to open output file [" + noDir + "]."},
      {"17,/a\n", Input(), Input(), same},
      {"17,/a\n", Input(), m_dir.path() + "/./stubs.txt", same},
      {"17,/a\n", Input(), m_dir.File("alias.txt"), same},
      {"17,/a\n", Input(), "/dev/full", full},
      {longLine, Input(), "/dev/full", full},
      {"1,/a\n" + longLine, Input(), "/dev/full", full},
      {"17,/a\n", "/proc/self/mem", Output(), "Failed to read input file [/proc/self/mem]."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.input + " -> " + c.output);
    WriteFile(Input(), c.stubs);
    WriteFile(Output(), "keep\n");
    EXPECT_FALSE(ConvertFiles(c.input, c.output));
    EXPECT_EQ(c.message, m_reader.m_lastError);
    EXPECT_TRUE(ReadFile(Input()) == c.stubs);
    if (c.input != "/proc/self/mem") {  // which fails only once the output is open
      EXPECT_EQ("keep\n", ReadFile(Output()));
    }
  }
  EXPECT_FALSE(FileExists(newFile));
}

TEST_F(StubConversion, LongLinesAndManyLinesConvertExactly) {
  const std::string longPath = "/" + std::string(3 * 1024 * 1024, 'p');
  std::string input = "1," + longPath + ":9\n";
  std::string expected = longPath + "\n";
  for (int i = 0; i < 50000; ++i) {
    input += std::to_string(i) + ",/dir/file-" + std::to_string(i) + ":7\r\n";
    expected += "/dir/file-" + std::to_string(i) + "\n";
  }
  // Too long for what is left of the output block, short enough for a
  // block of its own.
  const std::string middlePath = "/" + std::string(512 * 1024, 'm');
  input += "2," + middlePath + ":1\n3,/z:1";
  expected += middlePath + "\n/z\n";
  ASSERT_TRUE(Convert(input));
  EXPECT_EQ(expected, ReadFile(Output()));
}

// The conversion reads in 128 KiB blocks and cuts each path in place. A
// last line without a line feed that ends exactly at a block or a grown
// buffer's end, or one byte either side, still yields its whole path, after
// another line or alone (a buffer read full to its spare byte would take the
// cut past its end, which the sanitizer build sees); the ':' search works
// eight bytes at a time, so suffixes of every length meet every position of
// the ':' within those eight bytes.
TEST_F(StubConversion, LastLinesEndingAtBufferBoundariesAndEverySuffixConvertExactly) {
  for (const std::size_t size : {std::size_t{131071}, std::size_t{131072}, std::size_t{131073},
                                 std::size_t{262143}, std::size_t{262144}, std::size_t{262145}}) {
    for (const std::string& before : {std::string("1,/a:1\n"), std::string()}) {
      const std::string head = before + "2,";
      const std::string path = "/" + std::string(size - head.size() - 1, 'q');
      ASSERT_TRUE(Convert(head + path)) << size;
      EXPECT_EQ((before.empty() ? "" : "/a\n") + path + "\n", ReadFile(Output())) << size;
    }
  }
  std::string input;
  std::string expected;
  for (std::size_t pathLength = 1; pathLength <= 20; ++pathLength) {
    for (std::size_t suffix = 0; suffix <= 17; ++suffix) {
      const std::string path = "/" + std::string(pathLength - 1, pathLength % 2 ? ':' : 'p');
      input += "7," + path + ":" + std::string(suffix, 's') + "\n";
      expected += path + "\n";
    }
  }
  ASSERT_TRUE(Convert(input));
  EXPECT_EQ(expected, ReadFile(Output()));
}

// Paths gather in a 1 MiB output block: a path that, with its line feed,
// fills the rest of the block exactly goes out whole, as does one a byte
// shorter or longer (a line feed one past the block is what the sanitizer
// build would see).
TEST_F(StubConversion, PathsThatFillTheOutputBlockExactlyAreWrittenWhole) {
  constexpr std::size_t kOutputBlock = std::size_t{1} << 20;
  for (const std::size_t first : {std::size_t{1}, std::size_t{2}, std::size_t{100}}) {
    for (const std::size_t spare : {std::size_t{0}, std::size_t{1}, std::size_t{2}}) {
      const std::string firstPath = "/" + std::string(first - 1, 'f');
      const std::string secondPath = "/" + std::string(kOutputBlock - (first + 1) - spare, 's');
      ASSERT_TRUE(Convert("1," + firstPath + "\n2," + secondPath + ":9\n3,/z\n"));
      EXPECT_TRUE(ReadFile(Output()) == firstPath + "\n" + secondPath + "\n/z\n")
          << "first " << first << ", spare " << spare;
    }
  }
}

TEST_F(StubConversion, NulAndInvalidUtf8BytesAreWrittenAsTheyAre) {
  const std::string nulPath = "/nul\0byte"s;
  ASSERT_TRUE(Convert(std::string("1,") + nulPath + ":1\n2,/\xff\xfe\xc3(\n"));
  EXPECT_EQ(nulPath + "\n/\xff\xfe\xc3(\n", ReadFile(Output()));
}

TEST_F(StubConversion, WorksOnAnyReaderAndLeavesItsStateAlone) {
  ASSERT_TRUE(Convert("17,/a\n"));
  EXPECT_FALSE(m_reader.m_initialized);
  EXPECT_FALSE(m_reader.m_opened);
  EXPECT_TRUE(m_reader.m_dstFileName.empty());
  EXPECT_TRUE(m_reader.m_lastError.empty());
}

}  // namespace
