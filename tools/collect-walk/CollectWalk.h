// collect-walk's parts: the command line (main.cpp), the walks and the sample
// (Walk.cpp), the conversion (Convert.cpp), and the temporaries of an
// interrupted lookup (Temporaries.cpp).
// All but the command line make the library collect_walk_core.
#ifndef TOOLS_COLLECT_WALK_COLLECTWALK_H_
#define TOOLS_COLLECT_WALK_COLLECTWALK_H_

#include <cstdint>
#include <string>

#include <vector>

#include "ProgressLine.h"
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

#endif  // TOOLS_COLLECT_WALK_COLLECTWALK_H_
