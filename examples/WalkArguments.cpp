#include "WalkArguments.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <limits>
#include <ostream>
#include <utility>
#include <vector>

namespace {

constexpr char kUsageLine[] =
    "usage: collect-walk [options] INPUT | collect-walk --convert INPUT OUTPUT DELIM";

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
  for (const char* option : {"--work-dir", "--prefix", "--number", "--job-id",
                             "--fields", "--field-count", "--offset"}) {
    if (name == option) return true;
  }
  return false;
}

// Sets the walk option `name`, one that TakesValue, from `value`. False for
// a bad number; `error` says which.
bool SetValueOption(const std::string& name, const std::string& value,
                    WalkOptions* options, bool* fieldCountGiven, std::string* error) {
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

}  // namespace

Command ParseArguments(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  Command command;
  if (args.empty()) {
    command.mode = Mode::kSample;
    return command;
  }
  if (args[0] == "--convert") return ParseConvert(args);
  WalkOptions& options = command.walk;
  bool fieldCountGiven = false;
  std::string error;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "-h" || arg == "--help") {
      command.mode = Mode::kHelp;
      return command;
    }
    if (arg == "-v" || arg == "--verbose") {
      options.verbose = true;
    } else if (arg == "--offsets") {
      options.offsets = true;
    } else if (arg == "--index-cache") {
      options.indexCache = true;
    } else if (arg == "--convert") {
      return BadUsage("--convert must be the first argument");
    } else if (TakesValue(arg)) {
      if (i + 1 == args.size()) return BadUsage(arg + " needs a value");
      if (!SetValueOption(arg, args[++i], &options, &fieldCountGiven, &error)) {
        return BadUsage(error);
      }
    } else if (arg.size() > 1 && arg[0] == '-') {
      return BadUsage("unknown option " + arg);
    } else if (!options.inputFile.empty()) {
      return BadUsage("only one INPUT file, got '" + options.inputFile + "' and '" + arg + "'");
    } else {
      options.inputFile = arg;
    }
  }
  if (options.inputFile.empty()) return BadUsage("no INPUT file given");
  if (!SettleFieldCount(fieldCountGiven, &options, &error)) return BadUsage(error);
  return command;
}

void PrintBadUsage(std::ostream& out, const std::string& error) {
  out << kProgram << ": " << error << '\n'
      << kUsageLine << '\n'
      << "run '" << kProgram << " --help' for more\n";
}

void PrintHelp(std::ostream& out) {
  out << "usage: " << kProgram << " [options] INPUT\n"
      << "       " << kProgram << " --convert INPUT OUTPUT DELIM\n"
      << "       " << kProgram << "\n"
      << "\n"
      << "Walks the collect file for INPUT, a list of archived files (one\n"
      << "absolute path per line), printing the file name of every record and\n"
      << "then a summary that ends with the offset where a later --offset run\n"
      << "would go on. The index service writes the collect file\n"
      << "WORK_DIR/PREFIX_NUMBER.lmf on first use; later runs reuse it as it\n"
      << "stands and say so on standard error, so delete it after changing INPUT.\n"
      << "\n"
      << "options:\n"
      << "  --work-dir DIR     directory of the collect file (default: .)\n"
      << "  --prefix P         collect file prefix (default: collect)\n"
      << "  --number N         collect file number (default: 1)\n"
      << "  --job-id J         job id for the index service (default: example-job)\n"
      << "  --fields LIST      comma-separated record fields (default: the\n"
      << "                     reader's seven); the file name must be third\n"
      << "                     from the end\n"
      << "  --field-count N    fields every record must have (default: the\n"
      << "                     number of names in --fields, which it needs)\n"
      << "  --index-cache      ask the index service for its cache\n"
      << "  --offset N         start at byte N of the collect file (the first\n"
      << "                     byte of a record)\n"
      << "  --offsets          print each record's offset, and a TAB, before\n"
      << "                     its name; --offset with it resumes at that record\n"
      << "  -v, --verbose      print a TAB and the raw record after each name\n"
      << "  -h, --help         print this text\n"
      << "\n"
      << "--convert writes the path of every usable line of the stub collect\n"
      << "file INPUT to OUTPUT, one per line, and then the number of paths\n"
      << "written. DELIM is one character, or tab, \\t or comma. For the\n"
      << "shipped stub sample:\n"
      << "  " << kProgram << " --convert " << COLLECT_WALK_STUB_SAMPLE
      << " /tmp/paths.txt comma\n"
      << "\n"
      << "Without arguments, walks the shipped sample " << COLLECT_WALK_SAMPLE
      << "\nverbosely in a temporary work directory that is removed afterwards.\n"
      << "\n"
      << "exit status:\n"
      << "  " << kExitDone << "  done\n"
      << "  " << kExitLibraryFailure
      << "  a library failure: the failed call and the library's message\n"
      << "     are on standard error\n"
      << "  " << kExitBadArguments
      << "  bad arguments, among them a work dir, INPUT or prefix that\n"
      << "     the walk cannot use\n";
}
