// collect-walk: an operator's tool for libVivodStubCollectReader: walks the
// collect file for a list of archived files, or converts a stub collect file.
#include <getopt.h>

#include <cerrno>
#include <cstdlib>
#include <iostream>
#include <string>

#include "CollectWalk.h"
#include "ToolCore.h"

namespace {

constexpr char kHelp[] = R"(Usage: collect-walk [OPTION]... INPUT
  or:  collect-walk --convert INPUT OUTPUT DELIM
  or:  collect-walk
Walk the collect file for INPUT, a list of archived files, one absolute path
a line (not "-": the index service reads it as a file). Print the file name
of each record, or "skipped: " and the library's message for a line it skips;
a summary and notes go to standard error. The collect file PREFIX_NUMBER.lmf
is made in DIR on first use, and reused as it stands after that.

      --work-dir=DIR     directory of the collect file (default: .)
      --prefix=PREFIX    collect file prefix (default: collect)
      --number=NUMBER    collect file number (default: 1)
      --job-id=JOB       job id for the index service (default: example-job)
      --fields=LIST      comma-separated record fields (default: the reader's)
      --field-count=N    fields a record must have (default: those in LIST)
      --index-cache      ask the index service for its cache
      --offset=N         walk from the first line that begins at byte N on
      --offsets          print before each line the offset of the next, and a
                         TAB: --offset with it resumes after the line
      --shards=N         print N lines "BEGIN END" that cut the collect file
      --range=B:E        walk the records whose line begins in bytes [B, E)
      --shard=I/N        walk the I-th (1 to N) of the ranges of --shards=N
      --progress         show the progress line wherever standard error goes
  -v, --verbose          print a TAB and the raw record after each name
  -h, --help             print this help and exit
      --version          print the version and exit
      --convert          write the path of each usable line of the stub collect
                         file INPUT to OUTPUT ("-": standard input, output);
                         DELIM is one character, tab, \t or comma

The ranges' walks in order give a whole walk's output byte for byte:
  collect-walk --shards 8 list.lst |
    parallel -k --colsep ' ' collect-walk --range {1}:{2} list.lst >walk.txt
On a terminal, a walk to a file or pipe shows a progress line. SIGINT,
SIGTERM, SIGHUP or SIGQUIT while the collect file is made removes the
temporary that this process started, and no other; the tool then ends by
that signal. Without arguments, collect-walk walks SAMPLE/archived-files.lst
in a new directory, which it removes, also on such a signal; SAMPLE is
../share/VivodStubCollectReader/sample from its folder.

The exit status is 0 when done, 1 on a failure (the failed call and the
library's message, a read or write error, or a closed standard input or
output that was needed), 2 for bad arguments, and 128 + N when ended by
signal N.
)";

constexpr char kVersion[] = "collect-walk (VivodStubCollectReader) " VSCR_VERSION
                            "\nBuilt against " VSCR_HOST_LIBRARIES ".\n\n" VSCR_COPYRIGHT "\n";

enum Id { kWorkDir = 256, kPrefix, kNumber, kJobId, kFields, kFieldCount, kIndexCache, kOffset,
          kOffsets, kShards, kShard, kRange, kProgress, kVersionId, kConvert };

const option kOptions[] = {
    {"work-dir", 1, nullptr, kWorkDir}, {"prefix", 1, nullptr, kPrefix},
    {"number", 1, nullptr, kNumber}, {"job-id", 1, nullptr, kJobId}, {"fields", 1, nullptr, kFields},
    {"field-count", 1, nullptr, kFieldCount}, {"index-cache", 0, nullptr, kIndexCache},
    {"offset", 1, nullptr, kOffset}, {"offsets", 0, nullptr, kOffsets},
    {"shards", 1, nullptr, kShards}, {"shard", 1, nullptr, kShard}, {"range", 1, nullptr, kRange},
    {"progress", 0, nullptr, kProgress}, {"verbose", 0, nullptr, 'v'}, {"help", 0, nullptr, 'h'},
    {"version", 0, nullptr, kVersionId}, {"convert", 0, nullptr, kConvert}, {nullptr, 0, nullptr, 0}};

// Decimal digits only, up to `max`: strtoull alone takes signs and blanks.
template <typename T>
bool Number(const std::string& text, T* value, uint64_t max = static_cast<T>(-1)) {
  errno = 0;
  const uint64_t parsed = std::strtoull(text.c_str(), nullptr, 10);
  *value = static_cast<T>(parsed);
  return !text.empty() && text.find_first_not_of("0123456789") == std::string::npos &&
         errno != ERANGE && parsed <= max;
}

template <typename T>  // "A<separator>B", two such numbers
bool Pair(const std::string& text, char separator, T* a, T* b) {
  const std::string::size_type at = text.find(separator);
  return at != std::string::npos && Number(text.substr(0, at), a) && Number(text.substr(at + 1), b);
}

bool Set(int id, const std::string& value, WalkOptions& o) {
  switch (id) {
    case kWorkDir: return !(o.args.workDir = value).empty();
    case kPrefix: return (o.args.collectFilePrefix = value, true);
    case kJobId: return (o.args.jobId = value, true);
    case kFields: return (o.args.fieldList = value, true);
    case kNumber: return Number(value, &o.args.collectFileNumber);
    case kFieldCount: return Number(value, &o.args.fieldCount, INT32_MAX);
    case kOffset: return Number(value, &o.begin);
    case kShards: return Number(value, &o.shards) && o.shards > 0;
    case kRange: return Pair(value, ':', &o.begin, &o.end) && o.begin <= o.end;
    case kShard: return Pair(value, '/', &o.shard, &o.shards) && o.shard > 0 && o.shard <= o.shards;
  }
  return false;
}

int BadUsage(const std::string& problem) {  // empty: getopt_long told it
  if (!problem.empty()) Complain(problem);
  std::cerr << "Try 'collect-walk --help' for more information.\n";
  return kExitBadArguments;
}

// --convert INPUT OUTPUT DELIM, once the options are read; `walkOption` is
// the first option given that only a walk takes, or empty.
int RunConvert(Tool& tool, char** operands, int count, const std::string& walkOption) {
  if (!walkOption.empty()) return BadUsage("--convert takes no walk option such as --" + walkOption);
  if (count != 3) return BadUsage("--convert takes INPUT OUTPUT DELIM");
  const std::string d = operands[2];
  const char delimiter =
      d == "tab" || d == "\\t" ? '\t' : d == "comma" ? ',' : d.size() == 1 ? d[0] : '\0';
  if (delimiter == '\0') return BadUsage("DELIM must be one character, tab, \\t or comma");
  return tool.output.Finish(Convert(tool, operands[0], operands[1], delimiter));
}

// A walk of INPUT, once the options are read; `starts` counts the options
// that say where it starts.
int RunWalk(Tool& tool, WalkOptions& options, char** operands, int count, int starts) {
  if (count != 1) return BadUsage(count == 0 ? "no INPUT given" : "only one INPUT");
  options.inputFile = operands[0];
  if (options.inputFile == "-") {
    return BadUsage("INPUT cannot be \"-\": the index service reads it as a file");
  }
  if (starts > 1) return BadUsage("give only one of --offset, --range, --shard and --shards");
  VivodStubCollectReaderInitArgs& args = options.args;
  if (args.fieldCount != 0 && args.fieldList.empty()) return BadUsage("--field-count needs --fields");
  if (args.fieldCount == 0 && !args.fieldList.empty()) {
    for (const char c : "," + args.fieldList) args.fieldCount += c == ',' ? 1 : 0;
  }
  return tool.output.Finish(Walk(tool, options));
}

}  // namespace

int main(int argc, char** argv) {
  // Before any file is opened; nothing can be told when it fails.
  const vscr_tool::StandardDescriptors descriptors = vscr_tool::HoldStandardDescriptors();
  if (!descriptors.held) return kExitFailure;
  vscr_tool::InterruptCleanup interrupts;  // before any other thread starts
  vscr_tool::CheckedOutput output("collect-walk", descriptors);
  Tool tool{output, interrupts, descriptors};
  // Standard output on a buffer of its own that standard error does not
  // flush, so that each write to it is checked where it is made.
  std::ios::sync_with_stdio(false);
  std::cerr.tie(nullptr);
  if (argc == 1) return output.Finish(RunSample(tool));
  char name[] = "collect-walk";  // for getopt_long's messages, whatever path ran us
  argv[0] = name;
  WalkOptions options;
  bool convert = false;
  int starts = 0;
  std::string walkOption;
  for (int id, at = -1; (id = getopt_long(argc, argv, "vh", kOptions, &at)) != -1; at = -1) {
    if (id == '?') return BadUsage("");
    if (id == 'h') return output.Finish((std::cout << kHelp, kExitDone));
    if (id == kVersionId) return output.Finish((std::cout << kVersion, kExitDone));
    options.verbose |= id == 'v';
    options.offsets |= id == kOffsets;
    options.progress |= id == kProgress;
    options.indexCache |= id == kIndexCache;
    convert |= id == kConvert;
    if (id != kConvert && walkOption.empty()) walkOption = id == 'v' ? "verbose" : kOptions[at].name;
    starts += id == kOffset || id == kRange || id == kShard || id == kShards ? 1 : 0;
    if (optarg != nullptr && !Set(id, optarg, options)) {
      return BadUsage("invalid value '" + std::string(optarg) + "' for --" + kOptions[at].name);
    }
  }
  const int count = argc - optind;
  return convert ? RunConvert(tool, argv + optind, count, walkOption)
                 : RunWalk(tool, options, argv + optind, count, starts);
}
