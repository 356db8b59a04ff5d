// Command line of collect-walk: what it is asked to do, and its help text.
// Parsing is kept apart so that the walk and the conversion read on their
// own.
#ifndef TOOLS_COLLECT_WALK_WALKARGUMENTS_H_
#define TOOLS_COLLECT_WALK_WALKARGUMENTS_H_

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>

// Bytes [begin, end) of the collect file: a walk of it takes the records
// whose line begins there.
struct ByteRange {
  uint64_t begin = 0;
  uint64_t end = 0;
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
  std::optional<ByteRange> range;     // unset: the whole file from `offset`
  std::optional<uint32_t> shards;     // set: print that many ranges, walk none
  bool offsets = false;               // print each record's offset
  bool verbose = false;
  bool progress = false;              // show the progress line wherever stderr goes
};

struct ConvertOptions {
  std::string inputFile;
  std::string outputFile;
  char delimiter = ',';
};

enum class Mode { kSample, kWalk, kShards, kConvert, kHelp, kBadUsage };

struct Command {
  Mode mode = Mode::kWalk;
  WalkOptions walk;
  ConvertOptions convert;
  std::string error;  // for kBadUsage
};

// Never fails: a bad command line gives Mode::kBadUsage and the reason.
Command ParseArguments(int argc, char** argv);

// The full help text, for --help, naming the folder of the shipped sample.
void PrintHelp(std::ostream& out, const std::string& sampleDir);
// The reason, one usage line and a pointer to --help, for an argument error.
void PrintBadUsage(std::ostream& out, const std::string& error);

#endif  // TOOLS_COLLECT_WALK_WALKARGUMENTS_H_
