#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "TestFiles.h"
#include "VivodStubCollectReader.h"
#include "standins/EvDebugControl.h"

namespace {

using namespace std::string_literals;
using standin::DebugEvent;

constexpr char kFunction[] = "VivodStubCollectReader::ProcessStubCollectFile";

class StubConversion : public ::testing::Test {
 protected:
  StubConversion() : m_reader(VivodStubCollectReaderInitArgs()) {}

  std::string Input() const { return m_dir.File("stubs.txt"); }
  std::string Output() const { return m_dir.File("paths.txt"); }

  // Converts `input` into Output(), capturing the log writer's events.
  bool Convert(const std::string& input, char delimiter = ',') {
    WriteFile(Input(), input);
    return ConvertFiles(Input(), Output(), delimiter);
  }
  bool ConvertFiles(const std::string& input, const std::string& output, char delimiter = ',') {
    standin::StartDebugCapture();
    const bool converted = m_reader.ProcessStubCollectFile(input, output, delimiter);
    m_events = standin::StopDebugCapture();
    return converted;
  }

  // The messages of the logged lines, each checked for function and level.
  std::vector<std::string> LoggedMessages() const {
    std::vector<std::string> messages;
    for (const DebugEvent& event : m_events) {
      if (event.kind != "line") continue;
      EXPECT_EQ(kFunction, event.function);
      EXPECT_EQ(2, event.level);
      messages.push_back(event.message);
    }
    return messages;
  }
  // The log writer is built from null first and destroyed last, every time.
  void ExpectLogWriterLifetime() const {
    ASSERT_GE(m_events.size(), 2u);
    EXPECT_EQ("construct", m_events.front().kind);
    EXPECT_TRUE(m_events.front().nullInstance);
    EXPECT_EQ("destroy", m_events.back().kind);
  }
  std::string Logged(const std::string& path) const {
    return "Writing " + path + " to file [" + Output() + "].";
  }

  TempDir m_dir;
  VivodStubCollectReader m_reader;
  std::vector<DebugEvent> m_events;
};

struct LineCase {
  std::string line;
  std::string written;  // without its line feed; empty: nothing written
};

TEST_F(StubConversion, EachLineYieldsThePathBetweenFirstDelimiterAndLastColon) {
  const LineCase cases[] = {
      {"17,/data/a.txt:3", "/data/a.txt"},
      {"17,/data/a.txt", "/data/a.txt"},
      {"17,/data/a:b:c", "/data/a:b"},
      {"17,/data/a.txt:3\r", "/data/a.txt"},
      {"17,/data/a.txt\r", "/data/a.txt"},
      {"17,/data/a.txt\t", "/data/a.txt"},
      {"17,/data/a.txt\r\r", "/data/a.txt\r"},
      {"a,b,c", "b,c"},
      {",/x", "/x"},
      {"17,", ""},
      {"17,:3", ""},
      {"17,\r", ""},
      {"", ""},
      {"\r", ""},
      {"/data/a.txt", ""},
      {"17,/100%s%n%d", "/100%s%n%d"},
  };
  for (const LineCase& c : cases) {
    ASSERT_TRUE(Convert(c.line + "\n")) << c.line;
    const std::string expected = c.written.empty() ? "" : c.written + "\n";
    EXPECT_EQ(expected, ReadFile(Output())) << c.line;
    const std::vector<std::string> logged = LoggedMessages();
    EXPECT_EQ(c.written.empty() ? 0u : 1u, logged.size()) << c.line;
    if (!c.written.empty() && !logged.empty()) {
      EXPECT_EQ(Logged(c.written), logged[0]) << c.line;
    }
    ExpectLogWriterLifetime();
  }
}

TEST_F(StubConversion, PathsAreWrittenAndLoggedInInputOrder) {
  m_reader.m_lastError = "earlier";
  ASSERT_TRUE(Convert("1,/a:1\n\n2,/b\nnothing\n3,/c:x:y"));  // no final line feed
  EXPECT_EQ("/a\n/b\n/c:x\n", ReadFile(Output()));
  EXPECT_EQ((std::vector<std::string>{Logged("/a"), Logged("/b"), Logged("/c:x")}),
            LoggedMessages());
  ExpectLogWriterLifetime();
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
  EXPECT_TRUE(LoggedMessages().empty());
}

TEST_F(StubConversion, InputThatCannotBeOpenedLeavesTheOutputUntouched) {
  WriteFile(Output(), "keep\n");
  for (const std::string& input : {m_dir.File("missing.txt"), m_dir.path()}) {
    EXPECT_FALSE(ConvertFiles(input, Output()));
    EXPECT_EQ("Failed to open input file [" + input + "].", m_reader.m_lastError);
    EXPECT_EQ("keep\n", ReadFile(Output()));
    EXPECT_TRUE(LoggedMessages().empty());
    ExpectLogWriterLifetime();
  }
  EXPECT_FALSE(ConvertFiles(m_dir.File("missing.txt"), m_dir.File("new.txt")));
  EXPECT_FALSE(FileExists(m_dir.File("new.txt")));
}

TEST_F(StubConversion, OutputThatCannotBeOpenedFailsWithoutReading) {
  WriteFile(Input(), "17,/a\n");
  const std::string output = m_dir.File("no-such-dir/paths.txt");
  EXPECT_FALSE(ConvertFiles(Input(), output));
  EXPECT_EQ("Failed to open output file [" + output + "].", m_reader.m_lastError);
  EXPECT_TRUE(LoggedMessages().empty());
  ExpectLogWriterLifetime();
}

TEST_F(StubConversion, InputAndOutputNamingTheSameFileAreRefused) {
  const std::string content = "17,/a\n";
  WriteFile(Input(), content);
  ASSERT_EQ(0, ::symlink(Input().c_str(), m_dir.File("alias.txt").c_str()));
  for (const std::string& output : {Input(), m_dir.path() + "/./stubs.txt", m_dir.File("alias.txt")}) {
    EXPECT_FALSE(ConvertFiles(Input(), output));
    EXPECT_EQ("Input and output are the same file [" + Input() + "].", m_reader.m_lastError);
    EXPECT_EQ(content, ReadFile(Input()));
    EXPECT_TRUE(LoggedMessages().empty());
  }
}

TEST_F(StubConversion, WriteAndReadErrorsAreFailures) {
  WriteFile(Input(), "17,/a\n");
  EXPECT_FALSE(ConvertFiles(Input(), "/dev/full"));
  EXPECT_EQ("Failed to write output file [/dev/full].", m_reader.m_lastError);

  // /proc/self/mem opens, but its first read fails with an I/O error.
  EXPECT_FALSE(ConvertFiles("/proc/self/mem", Output()));
  EXPECT_EQ("Failed to read input file [/proc/self/mem].", m_reader.m_lastError);
  EXPECT_TRUE(FileExists(Output()));
  ExpectLogWriterLifetime();
}

TEST_F(StubConversion, LongLinesAndManyLinesConvertExactly) {
  const std::string longPath = "/" + std::string(3 * 1024 * 1024, 'p');
  std::string input = "1," + longPath + ":9\n";
  std::string expected = longPath + "\n";
  for (int i = 0; i < 50000; ++i) {
    input += std::to_string(i) + ",/dir/file-" + std::to_string(i) + ":7\r\n";
    expected += "/dir/file-" + std::to_string(i) + "\n";
  }
  ASSERT_TRUE(Convert(input));
  EXPECT_EQ(expected, ReadFile(Output()));
  EXPECT_EQ(50001u, LoggedMessages().size());
}

TEST_F(StubConversion, NulAndInvalidUtf8BytesAreWrittenAsTheyAre) {
  const std::string nulPath = "/nul\0byte"s;
  ASSERT_TRUE(Convert(std::string("1,") + nulPath + ":1\n2,/\xff\xfe\xc3(\n"));
  EXPECT_EQ(nulPath + "\n/\xff\xfe\xc3(\n", ReadFile(Output()));
  // The log writer takes C strings: it sees the path up to the NUL.
  EXPECT_EQ((std::vector<std::string>{Logged("/nul"), Logged("/\xff\xfe\xc3(")}),
            LoggedMessages());
}

TEST_F(StubConversion, WorksOnAnyReaderAndLeavesItsStateAlone) {
  ASSERT_TRUE(Convert("17,/a\n"));
  EXPECT_FALSE(m_reader.m_initialized);
  EXPECT_FALSE(m_reader.m_opened);
  EXPECT_TRUE(m_reader.m_dstFileName.empty());
  EXPECT_TRUE(m_reader.m_lastError.empty());
}

}  // namespace
