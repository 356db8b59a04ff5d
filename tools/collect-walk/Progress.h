// The progress line: one line on standard error, redrawn in place, that
// tells an operator how far a long walk has come. The walk hands it the
// offset it tracks and its record count after every result; most calls
// only count down, and every few thousand records (or megabytes) it reads
// the clock, which costs no system call, and redraws at most ten times a
// second. It writes nothing during the first tenth of a second, so short
// walks never show it.
#ifndef TOOLS_COLLECT_WALK_PROGRESS_H_
#define TOOLS_COLLECT_WALK_PROGRESS_H_

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

// Whether a walk shows the line: when standard error is a terminal and
// standard output is not (the names go to a file or a pipe), or when
// `asked` (--progress).
bool ShowsProgress(bool asked);

class ProgressLine {
 public:
  using Clock = std::chrono::steady_clock;
  // Writes one piece of output; false when it could not, which ends the line.
  using Writer = std::function<bool(const std::string&)>;

  // Results between clock checks, and bytes: a check comes after either.
  static constexpr unsigned kRecordsPerCheck = 4096;
  static constexpr uint64_t kBytesPerCheck = uint64_t{4} << 20;
  static constexpr Clock::duration kRefresh = std::chrono::milliseconds(100);

  // A line for a walk of bytes [begin, end) of the collect file, or from
  // `begin` on when the end is not known. Not `shown`, it does nothing.
  // `write` takes each piece of output (standard error unless given) and
  // `now` reads the clock; tests give their own.
  ProgressLine(bool shown, uint64_t begin, std::optional<uint64_t> end,
               Writer write = Writer(), std::function<Clock::time_point()> now = Clock::now);
  ~ProgressLine() { Clear(); }
  ProgressLine(const ProgressLine&) = delete;
  ProgressLine& operator=(const ProgressLine&) = delete;

  // After each result: `offset` is where the walk now stands, `records`
  // the records it delivered so far.
  void Advance(uint64_t offset, unsigned long records) {
    if (!m_shown || (--m_countdown != 0 && offset < m_checkAt)) return;
    Check(offset, records);
  }

  // Erases the line, if one was drawn. Call it before anything else is
  // written to standard error; Advance draws no more after it.
  void Clear();

 private:
  void Check(uint64_t offset, unsigned long records);
  std::string Text(uint64_t offset, unsigned long records, Clock::duration elapsed) const;

  bool m_shown;
  uint64_t m_begin;
  std::optional<uint64_t> m_end;
  Writer m_write;
  std::function<Clock::time_point()> m_now;
  Clock::time_point m_start;
  Clock::time_point m_nextDraw;
  unsigned m_countdown = kRecordsPerCheck;
  uint64_t m_checkAt;
  std::size_t m_drawn = 0;  // length of the line on screen, 0 for none
};

#endif  // TOOLS_COLLECT_WALK_PROGRESS_H_
