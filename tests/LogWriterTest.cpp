// The stand-in log writer's own output: the lines it writes to standard
// error outside a capture. The conversion tests capture events instead, so
// a fault in laying out or buffering the lines would hide from them.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <string>

#include "EvDebug.h"
#include "TestFiles.h"
#include "standins/EvDebugControl.h"

namespace {

// Runs `log` with standard error sent to a file; returns what was written.
template <typename Log>
std::string StderrOf(const TempDir& dir, Log log) {
  const std::string path = dir.File("stderr.txt");
  std::fflush(stderr);
  const int saved = ::dup(STDERR_FILENO);
  const int file = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  EXPECT_GE(file, 0);
  ::dup2(file, STDERR_FILENO);
  ::close(file);
  log();
  ::dup2(saved, STDERR_FILENO);
  ::close(saved);
  return ReadFile(path);
}

TEST(LogWriter, WritesEveryLineInOrderByTheTimeItIsDestroyed) {
  TempDir dir;
  std::string expected;
  const std::string written = StderrOf(dir, [&] {
    EvDebug log(nullptr);
    // Enough lines to be written out in several blocks.
    for (int i = 0; i < 5000; ++i) {
      const std::string path = "/data/file-" + std::to_string(i) + ".txt";
      log.DebugLvl("Fn", 2, "Writing %s to file [%s].", path.c_str(), "out.txt");
      expected += standin::FormatDebugLine("Fn", 2, "Writing " + path + " to file [out.txt].");
    }
  });
  EXPECT_EQ(expected, written);
}

TEST(LogWriter, LaysOutLongMessagesOddLevelsAndPercentSignsExactly) {
  TempDir dir;
  const std::string longPath = "/" + std::string(3000, 'p') + ".bin";
  const std::string written = StderrOf(dir, [&] {
    EvDebug log(nullptr);
    log.DebugLvl("Fn", 2, "Writing %s to file [%s].", longPath.c_str(), "o");
    log.DebugLvl("Fn", -7, "%s", "100% sure");
    log.DebugLvl("Fn", INT_MIN, "%d", 0);
    log.DebugLvl("Fn", INT_MAX, "%s", "");
    log.DebugLvl(nullptr, 0, "no function");
    log.DebugLvl("Fn", 2, "50%% of %s, %s%%", "a", "b");
    log.DebugLvl("Fn", 2, "[%5s|%-3s|%.2s]", "ab", "c", "xyz");
    log.DebugLvl("Fn", 2, "%5s", "ab");
    for (const std::size_t length : {510u, 511u, 512u, 513u}) {
      log.DebugLvl("Fn", 2, "%s", std::string(length, 'm').c_str());
    }
  });
  const std::string expected =
      standin::FormatDebugLine("Fn", 2, "Writing " + longPath + " to file [o].") +
      standin::FormatDebugLine("Fn", -7, "100% sure") +
      standin::FormatDebugLine("Fn", INT_MIN, "0") +
      standin::FormatDebugLine("Fn", INT_MAX, "") +
      standin::FormatDebugLine("", 0, "no function") +
      standin::FormatDebugLine("Fn", 2, "50% of a, b%") +
      standin::FormatDebugLine("Fn", 2, "[   ab|c  |xy]") +
      standin::FormatDebugLine("Fn", 2, "   ab") +
      standin::FormatDebugLine("Fn", 2, std::string(510, 'm')) +
      standin::FormatDebugLine("Fn", 2, std::string(511, 'm')) +
      standin::FormatDebugLine("Fn", 2, std::string(512, 'm')) +
      standin::FormatDebugLine("Fn", 2, std::string(513, 'm'));
  EXPECT_EQ(expected, written);
}

}  // namespace
