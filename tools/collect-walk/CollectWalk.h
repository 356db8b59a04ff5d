// collect-walk's parts: the command line (main.cpp), the walks and the sample
// (Walk.cpp), standard output, the conversion and interrupted lookups
// (Output.cpp), and the progress line (Progress.cpp).
#ifndef TOOLS_COLLECT_WALK_COLLECTWALK_H_
#define TOOLS_COLLECT_WALK_COLLECTWALK_H_

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "VivodStubCollectReader.h"

enum ExitStatus : int { kExitDone = 0, kExitFailure = 1, kExitBadArguments = 2 };

struct WalkOptions {
  WalkOptions() {
    args.collectFileNumber = 1;
    args.workDir = ".";
    args.collectFilePrefix = "collect";
    args.jobId = "example-job";  // the index service refuses an empty one
  }
  VivodStubCollectReaderInitArgs args;
  std::string inputFile;
  uint64_t begin = 0;  // bytes [begin, end) of the collect file
  uint64_t end = UINT64_MAX;
  uint32_t shard = 0;  // --shard I/N: I, from 1; 0 with `shards`: print the ranges
  uint32_t shards = 0;
  bool indexCache = false, offsets = false, verbose = false, progress = false;
};

void Complain(const std::string& problem);  // "collect-walk: <problem>"
// Whether every write to standard output went out so far; the first failure
// is kept. FinishOutput flushes and closes standard output and, after a
// failed write, says "collect-walk: write error: <reason>" and returns
// kExitFailure instead of `status`.
bool OutputHolds();
int FinishOutput(int status);
// Opens /dev/null on those of descriptors 0 to 2 that are closed, so that no
// file opened later takes their numbers. False when it cannot.
bool OpenClosedStandardDescriptors();
// From now on SIGINT and SIGTERM (unless ignored) remove the collect file
// temporaries this process started beside `stem` (work dir and prefix),
// then end the process by that signal.
void RemoveTemporariesOnInterrupt(const std::string& stem);
// These return the exit status.
int Convert(const std::string& input, const std::string& output, char delimiter);
int Walk(const WalkOptions& options);
int RunSample();

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

#endif  // TOOLS_COLLECT_WALK_COLLECTWALK_H_
