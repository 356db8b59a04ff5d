// The conversion's calls of the log writer, seen through the stand-in's
// capture: one line per written path, made just before it is written, with
// the fixed function name, level and format, and a writer built from null
// first and destroyed last on every way out.
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <utility>
#include <vector>

#include "CollectTestHarness.h"
#include "StubLineCases.h"
#include "standins/EvDebugControl.h"

namespace {

using namespace std::string_literals;
using standin::DebugEvent;

constexpr char kFunction[] = "VivodStubCollectReader::ProcessStubCollectFile";

class StubConversionLog : public ConversionTest {
 protected:
  // Converts with the log writer's events captured.
  bool CallConversion(const std::string& input, const std::string& output,
                      char delimiter) override {
    standin::StartDebugCapture();
    const bool converted = ConversionTest::CallConversion(input, output, delimiter);
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

  std::vector<DebugEvent> m_events;
};

TEST_F(StubConversionLog, EveryWrittenPathIsLoggedOnceAndNothingElse) {
  for (const StubLineCase& c : StubLineCases()) {
    ASSERT_TRUE(Convert(c.line + "\n")) << c.line;
    const std::vector<std::string> logged = LoggedMessages();
    if (c.written.empty()) {
      EXPECT_TRUE(logged.empty()) << c.line;
    } else {
      EXPECT_EQ(std::vector<std::string>{Logged(c.written)}, logged) << c.line;
    }
    ExpectLogWriterLifetime();
  }
}

TEST_F(StubConversionLog, FailuresLogNothingYetTheWriterLivesThroughTheCall) {
  WriteFile(Input(), "17,/a\n");
  ASSERT_EQ(0, ::symlink(Input().c_str(), m_dir.File("alias.txt").c_str()));
  const std::string failing[][2] = {
      {m_dir.File("missing.txt"), Output()},
      {m_dir.path(), Output()},
      {Input(), m_dir.File("no-such-dir/paths.txt")},
      {Input(), m_dir.File("alias.txt")},
  };
  for (const auto& files : failing) {
    EXPECT_FALSE(ConvertFiles(files[0], files[1])) << files[0] << " -> " << files[1];
    EXPECT_TRUE(LoggedMessages().empty()) << files[0] << " -> " << files[1];
    ExpectLogWriterLifetime();
  }
  // A read error ends the call after the writer was made.
  EXPECT_FALSE(ConvertFiles("/proc/self/mem", Output()));
  ExpectLogWriterLifetime();
}

// Each path is logged as it is cut in place, in input order: up to its
// first NUL, and without the byte after it, whether a ':', CR, TAB, line
// feed or nothing at all.
TEST_F(StubConversionLog, LinesFollowInputOrderAndShowEachPathAlone) {
  const std::string blockPath = "/" + std::string(131072 - 3, 'q');  // ends the first block
  const std::pair<std::string, std::vector<std::string>> cases[] = {
      {"1,/a:1\n\n2,/b\nnothing\n3,/c:x:y", {"/a", "/b", "/c:x"}},
      {"\n17,\nno delimiter\n", {}},
      {"1,/nul\0byte:1\n2,/\xff\xfe\xc3(\n"s, {"/nul", "/\xff\xfe\xc3("}},
      {"1,/a:b:1\n2,/c\r\n3,/d\t\n4,/e\n5,/f", {"/a:b", "/c", "/d", "/e", "/f"}},
      {"2," + blockPath, {blockPath}},
  };
  for (const auto& [input, paths] : cases) {
    ASSERT_TRUE(Convert(input));
    std::vector<std::string> expected;
    for (const std::string& path : paths) expected.push_back(Logged(path));
    EXPECT_EQ(expected, LoggedMessages()) << input.substr(0, 40);
    ExpectLogWriterLifetime();
  }
}

TEST_F(StubConversionLog, ManyLinesGiveAsManyLogLines) {
  std::string input;
  for (int i = 0; i < 50000; ++i) input += std::to_string(i) + ",/dir/file-" + std::to_string(i) + ":7\r\n";
  ASSERT_TRUE(Convert(input));
  const std::vector<std::string> logged = LoggedMessages();
  ASSERT_EQ(50000u, logged.size());
  EXPECT_EQ(Logged("/dir/file-49999"), logged.back());
}

}  // namespace
