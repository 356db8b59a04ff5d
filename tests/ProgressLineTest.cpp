// collect-walk's progress line on a clock of the test's own: how often it
// reads the clock and redraws, and what it leaves on the screen.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "Progress.h"

namespace {

using Clock = ProgressLine::Clock;
using std::chrono::milliseconds;

// A clock that moves on by `step` at every reading, and a screen that
// keeps every piece written.
struct Bench {
  Clock::time_point time{};
  Clock::duration step = milliseconds(1);
  int readings = 0;
  std::vector<std::string> written;
  std::vector<Clock::time_point> writtenAt;

  ProgressLine Line(bool shown, uint64_t begin, std::optional<uint64_t> end) {
    return ProgressLine(
        shown, begin, end,
        [this](const std::string& text) {
          written.push_back(text);
          writtenAt.push_back(time);
          return true;
        },
        [this] {
          ++readings;
          return time += step;
        });
  }
};

TEST(ProgressLine, ReadsTheClockEveryFewThousandRecordsAndDrawsTenTimesASecondAtMost) {
  Bench bench;
  {
    ProgressLine line = bench.Line(true, 1000, 1000 + 100000000);
    constexpr unsigned long kRecords = 1000000;
    for (unsigned long i = 1; i <= kRecords; ++i) line.Advance(1000 + i * 100, i);
    // One reading at the start, then one per kRecordsPerCheck records.
    EXPECT_EQ(1 + kRecords / ProgressLine::kRecordsPerCheck, static_cast<unsigned long>(bench.readings));
    ASSERT_GE(bench.written.size(), 2u);
    for (std::size_t i = 1; i < bench.writtenAt.size(); ++i) {
      EXPECT_GE(bench.writtenAt[i] - bench.writtenAt[i - 1], ProgressLine::kRefresh) << i;
    }
    EXPECT_GE(bench.writtenAt.front() - Clock::time_point{}, ProgressLine::kRefresh);
  }
  // Cleared when the walk is over: blanks over the longest line drawn.
  const std::string last = bench.written.back();
  std::size_t longest = 0;
  for (std::size_t i = 0; i + 1 < bench.written.size(); ++i) {
    EXPECT_EQ('\r', bench.written[i][0]);
    longest = std::max(longest, bench.written[i].size() - 1);
  }
  EXPECT_EQ("\r" + std::string(longest, ' ') + "\r", last);
}

TEST(ProgressLine, LongLinesBringTheClockCheckForwardAndAHiddenLineWritesNothing) {
  Bench bench;
  bench.step = milliseconds(60);
  ProgressLine line = bench.Line(true, 0, std::nullopt);
  // A record per 5 MiB: a check after every record, a draw after every second.
  for (unsigned long i = 1; i <= 10; ++i) line.Advance(i * (uint64_t{5} << 20), i);
  EXPECT_EQ(11, bench.readings);
  EXPECT_EQ(5u, bench.written.size());
  // Without an end there is no share and no time left to tell.
  EXPECT_EQ(std::string::npos, bench.written.back().find(" of ")) << bench.written.back();
  EXPECT_EQ(std::string::npos, bench.written.back().find(" left")) << bench.written.back();
  line.Clear();
  const std::size_t afterClear = bench.written.size();
  line.Advance(uint64_t{100} << 20, 20);
  EXPECT_EQ(afterClear, bench.written.size());

  Bench hidden;
  hidden.step = std::chrono::seconds(1);
  {
    ProgressLine quiet = hidden.Line(false, 0, 1000);
    for (unsigned long i = 1; i <= 100000; ++i) quiet.Advance(i, i);
  }
  EXPECT_TRUE(hidden.written.empty());
  EXPECT_LE(hidden.readings, 1);
}

TEST(ProgressLine, TellsTheShareOfTheRangeTheRateAndTheTimeLeft) {
  Bench bench;
  bench.step = std::chrono::seconds(10);
  const uint64_t mib = uint64_t{1} << 20;
  // A range of 40 MiB from 8 MiB on; a quarter of it done after 10 s.
  ProgressLine line = bench.Line(true, 8 * mib, 48 * mib);
  for (unsigned long i = 1; i < ProgressLine::kRecordsPerCheck; ++i) line.Advance(8 * mib, i);
  line.Advance(18 * mib, 5000);
  ASSERT_EQ(1u, bench.written.size());
  EXPECT_EQ("\r10.0 MiB of 40.0 MiB (25 %), 5000 records, 500 records/s, 0:30 left",
            bench.written[0]);
}

}  // namespace
