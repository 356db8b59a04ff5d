// collect-walk's progress line on a clock and a terminal of the test's own.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CollectWalk.h"

namespace {

using Clock = ProgressLine::Clock;
using std::chrono::milliseconds;
constexpr uint64_t kMiB = uint64_t{1} << 20;

// A clock that moves on by `step` at every reading, a terminal `columns`
// wide, and a screen that keeps every piece written.
struct Bench {
  Clock::time_point time{};
  Clock::duration step = milliseconds(1);
  std::size_t columns = 0;
  int readings = 0;
  std::vector<std::string> written;
  std::vector<Clock::time_point> writtenAt;

  ProgressLine Line(bool shown, uint64_t begin, std::optional<uint64_t> end) {
    const auto write = [this](const std::string& text) {
      return written.push_back(text), writtenAt.push_back(time), true;
    };
    return ProgressLine(shown, begin, end, write, [this] { return ++readings, time += step; },
                        [this] { return columns; });
  }
};

TEST(ProgressLine, ReadsTheClockEveryFewThousandRecordsAndDrawsTenTimesASecondAtMost) {
  Bench bench;
  {
    ProgressLine line = bench.Line(true, 1000, 1000 + 100000000);
    constexpr unsigned long kRecords = 1000000;
    for (unsigned long i = 1; i <= kRecords; ++i) line.Advance(1000 + i * 100, i);
    EXPECT_EQ(1 + kRecords / ProgressLine::kRecordsPerCheck, static_cast<unsigned long>(bench.readings));
    ASSERT_GE(bench.written.size(), 2u);
    for (std::size_t i = 1; i < bench.writtenAt.size(); ++i) {
      EXPECT_GE(bench.writtenAt[i] - bench.writtenAt[i - 1], ProgressLine::kRefresh) << i;
    }
    EXPECT_GE(bench.writtenAt.front() - Clock::time_point{}, ProgressLine::kRefresh);
  }
  std::size_t longest = 0;  // cleared at the end: blanks over the longest line
  for (std::size_t i = 0; i + 1 < bench.written.size(); ++i) {
    EXPECT_EQ('\r', bench.written[i][0]);
    longest = std::max(longest, bench.written[i].size() - 1);
  }
  EXPECT_EQ("\r" + std::string(longest, ' ') + "\r", bench.written.back());

  // A record per 5 MiB: a check after every record, a draw after every second.
  Bench big;
  big.step = milliseconds(60);
  ProgressLine line = big.Line(true, 0, std::nullopt);
  for (unsigned long i = 1; i <= 10; ++i) line.Advance(i * 5 * kMiB, i);
  EXPECT_EQ(11, big.readings);
  ASSERT_EQ(5u, big.written.size());
  EXPECT_EQ("\r50.0 MiB, 10 records, 17 records/s", big.written.back());  // no end: no share
  line.Clear();
  line.Advance(100 * kMiB, 20);
  EXPECT_EQ(6u, big.written.size());

  Bench hidden;
  ProgressLine quiet = hidden.Line(false, 0, 1000);
  for (unsigned long i = 1; i <= 100000; ++i) quiet.Advance(i, i);
  EXPECT_TRUE(hidden.written.empty());
}

// A quarter of a 40 MiB range from 8 MiB on, done after 10 s, in terminals
// of every width: the least useful parts go first, and the line never
// takes the last column, where a terminal would wrap it.
TEST(ProgressLine, FitsTheTerminalDroppingTheLeastUsefulPartsFirst) {
  const std::pair<std::size_t, std::string> widths[] = {
      {0, "10.0 MiB of 40.0 MiB, 25 %, 5000 records, 500 records/s, 0:00:30 left"},
      {70, "10.0 MiB of 40.0 MiB, 25 %, 5000 records, 500 records/s, 0:00:30 left"},
      {69, "10.0 MiB of 40.0 MiB, 25 %, 5000 records, 0:00:30 left"},
      {50, "25 %, 5000 records, 0:00:30 left"},
      {30, "25 %, 0:00:30 left"},
      {18, "25 %"},
      {3, "25"},
  };
  for (const auto& [columns, text] : widths) {
    SCOPED_TRACE(columns);
    Bench bench;
    bench.step = std::chrono::seconds(10);
    bench.columns = columns;
    ProgressLine line = bench.Line(true, 8 * kMiB, 48 * kMiB);
    for (unsigned long i = 1; i < ProgressLine::kRecordsPerCheck; ++i) line.Advance(8 * kMiB, i);
    line.Advance(18 * kMiB, 5000);
    ASSERT_EQ(1u, bench.written.size());
    EXPECT_EQ("\r" + text, bench.written[0]);
    bench.columns = columns == 0 ? 0 : 2;  // narrowed: blanks within the new width
    line.Clear();
    EXPECT_EQ("\r" + std::string(columns == 0 ? text.size() : 1, ' ') + "\r", bench.written.back());
  }
}

}  // namespace
