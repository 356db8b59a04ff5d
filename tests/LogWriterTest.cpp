// The stand-in log writer's own output: the lines it writes to standard
// error outside a capture. The conversion tests capture events instead, so
// a fault in writing the lines out would hide from them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CollectTestHarness.h"
#include "EvDebug.h"
#include "standins/EvDebugControl.h"

namespace {

// Runs `log` with standard error sent to a file; returns what was written.
template <typename Log>
std::string StderrOf(const TempDir& dir, Log log) {
  {
    const StandardErrorToFile capture(dir.File("stderr.txt"));
    log();
  }
  return ReadFile(dir.File("stderr.txt"));
}

// Lines of any length, from two objects alive at once, all written in call
// order by the time the last object is gone.
TEST(LogWriter, WritesEveryLineInOrderByTheTimeItIsDestroyed) {
  TempDir dir;
  std::string expected;
  const std::string written = StderrOf(dir, [&] {
    EvDebug first(nullptr);
    EvDebug second(nullptr);
    // Enough lines to fill the stream's buffer many times over, among them
    // one longer than the room any earlier line left.
    for (int i = 0; i < 5000; ++i) {
      std::string path = "/data/file-" + std::to_string(i);
      if (i == 4000) path += std::string(70000, 'p');
      EvDebug& log = i % 3 == 0 ? second : first;
      log.DebugLvl("Fn", i % 5, "Writing %s to file [%s].", path.c_str(), "out.txt");
      expected += standin::FormatDebugLine("Fn", i % 5, "Writing " + path + " to file [out.txt].");
    }
    second.DebugLvl(nullptr, -7, "%d%% of %s", 100, "it");
    expected += standin::FormatDebugLine("", -7, "100% of it");
  });
  EXPECT_EQ(expected, written);
}

TEST(LogWriter, CapturedLinesGoToTheCaptureAlone) {
  TempDir dir;
  std::vector<standin::DebugEvent> events;
  const std::string written = StderrOf(dir, [&] {
    standin::StartDebugCapture();
    {
      EvDebug log(nullptr);
      log.DebugLvl("Fn", 2, "Writing %s to file [%s].", std::string(3000, 'q').c_str(), "o");
    }
    events = standin::StopDebugCapture();
  });
  EXPECT_EQ("", written);
  ASSERT_EQ(3u, events.size());
  EXPECT_EQ("construct", events[0].kind);
  EXPECT_TRUE(events[0].nullInstance);
  EXPECT_EQ("line", events[1].kind);
  EXPECT_EQ("Fn", events[1].function);
  EXPECT_EQ(2, events[1].level);
  EXPECT_EQ("Writing " + std::string(3000, 'q') + " to file [o].", events[1].message);
  EXPECT_EQ("destroy", events[2].kind);
}

// Discarded lines are neither written nor captured, while the objects
// themselves still are; lines come again once discarding stops.
TEST(LogWriter, DiscardedLinesGoNowhereUntilDiscardingStops) {
  TempDir dir;
  std::vector<standin::DebugEvent> events;
  const std::string written = StderrOf(dir, [&] {
    EvDebug log(nullptr);
    standin::DiscardDebugLines(true);
    log.DebugLvl("Fn", 2, "Writing %s to file [%s].", "/gone", "o");
    standin::StartDebugCapture();
    {
      EvDebug captured(nullptr);
      captured.DebugLvl("Fn", 2, "Writing %s to file [%s].", "/gone too", "o");
    }
    events = standin::StopDebugCapture();
    standin::DiscardDebugLines(false);
    log.DebugLvl("Fn", 3, "Writing %s to file [%s].", "/kept", "o");
  });
  EXPECT_EQ(standin::FormatDebugLine("Fn", 3, "Writing /kept to file [o]."), written);
  ASSERT_EQ(2u, events.size());
  EXPECT_EQ("construct", events[0].kind);
  EXPECT_EQ("destroy", events[1].kind);
}

}  // namespace
