// A tool's progress line on standard error.
#ifndef TOOLS_CORE_PROGRESSLINE_H_
#define TOOLS_CORE_PROGRESSLINE_H_

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

// The progress line: one line on standard error, redrawn in place. Most
// calls only count down; every few thousand records (or megabytes) it reads
// the clock, and it redraws at most ten times a second, never in the first
// tenth, each time fitted to the terminal's width. It is shown when standard
// error is a terminal and standard output is not, or when `asked`.
bool ShowsProgress(bool asked);
bool WriteToStandardError(const std::string& text);  // false when not all of it

class ProgressLine {
 public:
  using Clock = std::chrono::steady_clock;
  using Writer = std::function<bool(const std::string&)>;  // false: gone
  using Width = std::function<std::size_t()>;              // columns, 0: unknown
  static constexpr unsigned kRecordsPerCheck = 4096;
  static constexpr uint64_t kBytesPerCheck = uint64_t{4} << 20;
  static constexpr Clock::duration kRefresh = std::chrono::milliseconds(100);

  // For bytes [begin, end), or from `begin` on; not `shown`, it does
  // nothing. Tests give their own writer, clock and terminal width.
  ProgressLine(bool shown, uint64_t begin, std::optional<uint64_t> end, Writer write = Writer(),
               std::function<Clock::time_point()> now = Clock::now, Width width = Width());
  ~ProgressLine() { Clear(); }
  ProgressLine(const ProgressLine&) = delete;

  // After each result: where the walk stands, and the records so far.
  void Advance(uint64_t offset, unsigned long records) {
    if (m_shown && (--m_countdown == 0 || offset >= m_checkAt)) Check(offset, records);
  }
  void Clear();  // erases the line; Advance draws no more after it

 private:
  void Check(uint64_t offset, unsigned long records);
  std::string Text(uint64_t offset, unsigned long records, double seconds, std::size_t room) const;
  std::size_t Room() const;  // the terminal's width less its last column, which wraps

  bool m_shown;
  uint64_t m_begin;
  std::optional<uint64_t> m_end;
  Writer m_write;
  std::function<Clock::time_point()> m_now;
  Width m_width;
  Clock::time_point m_start, m_nextDraw;
  unsigned m_countdown = kRecordsPerCheck;
  uint64_t m_checkAt;
  std::size_t m_drawn = 0;  // length of the line on screen, 0 for none
};

#endif  // TOOLS_CORE_PROGRESSLINE_H_
