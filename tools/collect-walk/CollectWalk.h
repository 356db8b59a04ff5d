// collect-walk's parts: the command line (main.cpp), the walks and the sample
// (Walk.cpp), the conversion (Convert.cpp), the temporaries of an
// interrupted lookup (Temporaries.cpp), and the progress line (Progress.cpp).
// All but the command line make the library collect_walk_core.
#ifndef TOOLS_COLLECT_WALK_COLLECTWALK_H_
#define TOOLS_COLLECT_WALK_COLLECTWALK_H_

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include <vector>

#include "ToolCore.h"
#include "VivodStubCollectReader.h"

using vscr_tool::kExitBadArguments;
using vscr_tool::kExitDone;
using vscr_tool::kExitFailure;

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

inline void Complain(const std::string& problem) {  // "collect-walk: <problem>"
  vscr_tool::Complain("collect-walk", problem);
}

// What main hands every part: the checked standard output, the clean-ups
// of an interrupt, and the standard descriptors as the program found them.
struct Tool {
  vscr_tool::CheckedOutput& output;
  vscr_tool::InterruptCleanup& interrupts;
  vscr_tool::StandardDescriptors descriptors;
};

// These return the exit status; their output is not yet finished. INPUT
// and OUTPUT "-" are descriptors 0 and 1 as they stand: read from their
// offset on, whatever they are (a file, a pipe, a socket).
int Convert(Tool& tool, const std::string& input, const std::string& output, char delimiter);
int Walk(Tool& tool, const WalkOptions& options);
int RunSample(Tool& tool);

// Removes the temporaries of the collect file at `collectPath` (named as
// CollectFileNames.h names them) that this process made, and returns their
// paths. A name with our pid is not enough, as a job in another PID
// namespace may have it: the temporary must also be a file that a
// descriptor of this process holds open, as the index service holds its
// output while it writes.
std::vector<std::string> RemoveOwnTemporaries(const std::string& collectPath);

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
