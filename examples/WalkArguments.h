// Command line of collect-walk: what it is asked to do, and its help text.
// Parsing is kept out of collect-walk.cpp so that the walk and the
// conversion read on their own.
#ifndef EXAMPLES_WALKARGUMENTS_H_
#define EXAMPLES_WALKARGUMENTS_H_

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>

constexpr char kProgram[] = "collect-walk";

// The exit status of collect-walk, as its help text documents it.
enum ExitStatus : int {
  kExitDone = 0,
  kExitLibraryFailure = 1,
  kExitBadArguments = 2,
};

struct WalkOptions {
  std::string inputFile;
  std::string workDir = ".";
  std::string prefix = "collect";
  uint32_t number = 1;
  std::string jobId = "example-job";  // the index service refuses an empty one
  std::string fields;                 // empty: the reader's default list
  int32_t fieldCount = 0;             // the names in `fields` unless given
  bool indexCache = false;
  std::optional<uint64_t> offset;     // unset: no seek at all
  bool offsets = false;               // print each record's offset
  bool verbose = false;
};

struct ConvertOptions {
  std::string inputFile;
  std::string outputFile;
  char delimiter = ',';
};

enum class Mode { kSample, kWalk, kConvert, kHelp, kBadUsage };

struct Command {
  Mode mode = Mode::kWalk;
  WalkOptions walk;
  ConvertOptions convert;
  std::string error;  // for kBadUsage
};

// Never fails: a bad command line gives Mode::kBadUsage and the reason.
Command ParseArguments(int argc, char** argv);

// The full help text, for --help.
void PrintHelp(std::ostream& out);
// The reason, one usage line and a pointer to --help, for an argument error.
void PrintBadUsage(std::ostream& out, const std::string& error);

#endif  // EXAMPLES_WALKARGUMENTS_H_
