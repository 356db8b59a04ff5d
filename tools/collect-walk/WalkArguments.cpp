#include "WalkArguments.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <limits>
#include <ostream>
#include <utility>
#include <vector>

#include "Report.h"

namespace {

constexpr char kUsageLine[] =
    "usage: collect-walk [--shards N | --range B:E] [options] INPUT | "
    "collect-walk --convert INPUT OUTPUT DELIM";

constexpr char kHelpText[] = R"(usage: collect-walk [options] INPUT
       collect-walk --shards N [options] INPUT
       collect-walk --convert INPUT OUTPUT DELIM
       collect-walk

Walks the collect file for INPUT, a list of archived files (one
absolute path per line), printing the file name of every record, or
"skipped: " and the library's message for a line it skips, and then a
summary that ends with the offset where a later --offset run would go
on. On first use the index service writes the collect file, named from
PREFIX and NUMBER, into WORK_DIR; later runs reuse it as it stands and
say so on standard error, so delete it after changing INPUT.

options:
  --work-dir DIR     directory of the collect file (default: .)
  --prefix P         collect file prefix (default: collect)
  --number N         collect file number (default: 1)
  --job-id J         job id for the index service (default: example-job)
  --fields LIST      comma-separated record fields (default: the
                     reader's seven); the file name must be third
                     from the end
  --field-count N    fields every record must have (default: the
                     number of names in --fields, which it needs)
  --index-cache      ask the index service for its cache
  --offset N         start at byte N of the collect file (the first
                     byte of a record)
  --offsets          print each record's offset, and a TAB, before
                     its name; --offset with it resumes at that record
  --shards N         prepare the collect file as a walk does, then
                     print N lines "BEGIN END" on standard output that
                     cut it into byte ranges (at SIZE * i / N), and
                     nothing else there; notes go to standard error
  --range B:E        walk the records whose line begins in bytes
                     [B, E) of the collect file, and say in the
                     summary where the range stopped. Walks of the
                     ranges that --shards prints, run anywhere in any
                     order and their outputs put together in order,
                     give a whole walk's lines, summaries aside; notes
                     go to standard error. Not with --offset
  --progress         show the progress line even when standard error
                     is not a terminal
  -v, --verbose      print a TAB and the raw record after each name
  -h, --help         print this text

progress: when standard error is a terminal and standard output is
not (the names go to a file or a pipe), a walk shows one updating
line on standard error: the bytes done of the total (of the range,
under --range), the records, records per second and an estimate of
the time left. It is refreshed at most ten times a second and cleared
at the end. Elsewhere it is shown only with --progress.

--convert writes the path of every usable line of the stub collect
file INPUT to OUTPUT, one per line, and then the number of paths
written: the lines of OUTPUT when it is a regular file, "not counted"
when it is not (a pipe, /dev/null). DELIM is one character, or tab, \t
or comma. Try it on the shipped stub-collect.txt:
  collect-walk --convert SAMPLE/stub-collect.txt /tmp/paths.txt comma

Without arguments, walks the shipped sample SAMPLE/archived-files.lst
verbosely in a temporary work directory that is removed afterwards.

exit status:
  0  done
  1  a library failure: the failed call and the library's message
     are on standard error
  2  bad arguments, among them a work dir, INPUT or prefix that
     the walk cannot use
)";

Command BadUsage(std::string error) {
  Command command;
  command.mode = Mode::kBadUsage;
  command.error = std::move(error);
  return command;
}

// Decimal digits only: strtoull alone would accept signs and blanks, and
// turn "-1" into a huge number.
template <typename T>
bool ParseNumber(const std::string& text, T* value) {
  if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos) {
    return false;
  }
  errno = 0;
  const unsigned long long parsed = std::strtoull(text.c_str(), nullptr, 10);
  if (errno == ERANGE ||
      parsed > static_cast<unsigned long long>(std::numeric_limits<T>::max())) {
    return false;
  }
  *value = static_cast<T>(parsed);
  return true;
}

std::optional<char> ParseDelimiter(const std::string& word) {
  if (word == "tab" || word == "\\t") return '\t';
  if (word == "comma") return ',';
  if (word.size() == 1) return word[0];
  return std::nullopt;
}

Command ParseConvert(const std::vector<std::string>& args) {
  if (args.size() != 4) return BadUsage("--convert takes exactly INPUT OUTPUT DELIM");
  const std::optional<char> delimiter = ParseDelimiter(args[3]);
  if (!delimiter) return BadUsage("DELIM must be one character, tab, \\t or comma: " + args[3]);
  Command command;
  command.mode = Mode::kConvert;
  command.convert = {args[1], args[2], *delimiter};
  return command;
}

bool TakesValue(const std::string& name) {
  for (const char* option : {"--work-dir", "--prefix", "--number", "--job-id", "--fields",
                             "--field-count", "--offset", "--range", "--shards"}) {
    if (name == option) return true;
  }
  return false;
}

// "BEGIN:END", two decimal numbers with BEGIN <= END.
bool SetRange(const std::string& value, WalkOptions* options, std::string* error) {
  const std::string::size_type colon = value.find(':');
  ByteRange range;
  if (colon == std::string::npos || !ParseNumber(value.substr(0, colon), &range.begin) ||
      !ParseNumber(value.substr(colon + 1), &range.end) || range.begin > range.end) {
    *error = "--range needs BEGIN:END, two decimal numbers with BEGIN <= END, not '" + value + "'";
    return false;
  }
  options->range = range;
  return true;
}

// Sets the walk option `name`, one that TakesValue, from `value`. False for
// a bad number or range; `error` says which.
bool SetValueOption(const std::string& name, const std::string& value,
                    WalkOptions* options, bool* fieldCountGiven, std::string* error) {
  if (name == "--range") return SetRange(value, options, error);
  bool numberOk = true;
  if (name == "--work-dir") {
    options->workDir = value;
  } else if (name == "--prefix") {
    options->prefix = value;
  } else if (name == "--job-id") {
    options->jobId = value;
  } else if (name == "--fields") {
    options->fields = value;
  } else if (name == "--number") {
    numberOk = ParseNumber(value, &options->number);
  } else if (name == "--field-count") {
    numberOk = ParseNumber(value, &options->fieldCount);
    *fieldCountGiven = true;
  } else if (name == "--shards") {
    uint32_t shards = 0;
    numberOk = ParseNumber(value, &shards);
    if (numberOk) options->shards = shards;
  } else {  // --offset
    uint64_t offset = 0;
    numberOk = ParseNumber(value, &offset);
    if (numberOk) options->offset = offset;
  }
  if (!numberOk) *error = name + " needs a non-negative decimal number, not '" + value + "'";
  return numberOk;
}

// --fields alone counts its names; --field-count alone has nothing to count.
bool SettleFieldCount(bool fieldCountGiven, WalkOptions* options, std::string* error) {
  if (fieldCountGiven && options->fields.empty()) {
    *error = "--field-count needs --fields";
    return false;
  }
  if (!fieldCountGiven && !options->fields.empty()) {
    const auto commas = std::count(options->fields.begin(), options->fields.end(), ',');
    options->fieldCount = static_cast<int32_t>(commas + 1);
  }
  return true;
}

// Where to start and what to do: one of --offset, --range and --shards.
bool CheckStart(const WalkOptions& options, std::string* error) {
  if (options.range && options.offset) {
    *error = "--range and --offset cannot go together: a range starts at its BEGIN";
  } else if (options.shards && (options.range || options.offset)) {
    *error = "--shards walks no records, so it takes neither --range nor --offset";
  } else if (options.shards && *options.shards == 0) {
    *error = "--shards needs at least 1 range";
  }
  return error->empty();
}

// Takes `arg`, a flag or INPUT, into `options`. False for anything else;
// `error` says why.
bool SetWord(const std::string& arg, WalkOptions* options, std::string* error) {
  if (arg == "-v" || arg == "--verbose") {
    options->verbose = true;
  } else if (arg == "--offsets") {
    options->offsets = true;
  } else if (arg == "--progress") {
    options->progress = true;
  } else if (arg == "--index-cache") {
    options->indexCache = true;
  } else if (arg == "--convert") {
    *error = "--convert must be the first argument";
  } else if (arg.size() > 1 && arg[0] == '-') {
    *error = "unknown option " + arg;
  } else if (!options->inputFile.empty()) {
    *error = "only one INPUT file, got '" + options->inputFile + "' and '" + arg + "'";
  } else {
    options->inputFile = arg;
  }
  return error->empty();
}

Command ParseWalk(const std::vector<std::string>& args) {
  Command command;
  WalkOptions& options = command.walk;
  bool fieldCountGiven = false;
  std::string error;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "-h" || arg == "--help") {
      command.mode = Mode::kHelp;
      return command;
    }
    if (TakesValue(arg)) {
      if (i + 1 == args.size()) return BadUsage(arg + " needs a value");
      if (!SetValueOption(arg, args[++i], &options, &fieldCountGiven, &error)) {
        return BadUsage(error);
      }
    } else if (!SetWord(arg, &options, &error)) {
      return BadUsage(error);
    }
  }
  if (options.inputFile.empty()) return BadUsage("no INPUT file given");
  if (!SettleFieldCount(fieldCountGiven, &options, &error)) return BadUsage(error);
  if (!CheckStart(options, &error)) return BadUsage(error);
  if (options.shards) command.mode = Mode::kShards;
  return command;
}

}  // namespace

Command ParseArguments(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty()) {
    Command command;
    command.mode = Mode::kSample;
    return command;
  }
  if (args[0] == "--convert") return ParseConvert(args);
  return ParseWalk(args);
}

void PrintBadUsage(std::ostream& out, const std::string& error) {
  out << kProgram << ": " << error << '\n'
      << kUsageLine << '\n'
      << "run '" << kProgram << " --help' for more\n";
}

void PrintHelp(std::ostream& out, const std::string& sampleDir) {
  out << kHelpText << "\nSAMPLE: " << sampleDir << '\n';
}
