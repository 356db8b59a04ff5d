// collect-walk: an example host for libVivodStubCollectReader. It walks the
// collect file for a list of archived files, or converts a stub collect file
// into a plain list of paths. Run it without arguments for a demonstration
// on the shipped sample.
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <limits>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "VivodStubCollectReader.h"

namespace {

constexpr char kProgram[] = "collect-walk";
// GetItem answers this without consuming anything, so retrying never ends.
constexpr char kNotReadyMessage[] = "Call Initialize() and Open() first.";

struct WalkOptions {
  std::string inputFile;
  std::string workDir = ".";
  std::string prefix = "collect";
  uint32_t number = 1;
  std::string jobId = "example-job";  // the index service refuses an empty one
  std::string fields;                 // empty: the reader's default list
  int32_t fieldCount = 0;
  bool indexCache = false;
  std::optional<uint64_t> offset;     // unset: no seek at all
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

void PrintUsage(std::ostream& out) {
  out << "usage: " << kProgram << " [options] INPUT\n"
      << "       " << kProgram << " --convert INPUT OUTPUT DELIM\n"
      << "       " << kProgram << "\n"
      << "\n"
      << "Walks the collect file for INPUT, a list of archived files (one\n"
      << "absolute path per line), printing the file name of every record and\n"
      << "then a summary. The index service writes the collect file\n"
      << "WORK_DIR/PREFIX_NUMBER.lmf on first use; later runs reuse it as it\n"
      << "stands, so delete it after changing INPUT.\n"
      << "\n"
      << "options:\n"
      << "  --work-dir DIR     directory of the collect file (default: .)\n"
      << "  --prefix P         collect file prefix (default: collect)\n"
      << "  --number N         collect file number (default: 1)\n"
      << "  --job-id J         job id for the index service (default: example-job)\n"
      << "  --fields LIST      comma-separated record fields (default: the\n"
      << "                     reader's seven); the file name must be third\n"
      << "                     from the end\n"
      << "  --field-count N    number of names in --fields\n"
      << "  --index-cache      ask the index service for its cache\n"
      << "  --offset N         start at byte N of the collect file (the first\n"
      << "                     byte of a record)\n"
      << "  -v, --verbose      print a TAB and the raw record after each name\n"
      << "  -h, --help         print this text\n"
      << "\n"
      << "--convert writes the path of every usable line of the stub collect\n"
      << "file INPUT to OUTPUT, one per line. DELIM is one character, or tab,\n"
      << "\\t or comma. For the shipped stub sample:\n"
      << "  " << kProgram << " --convert " << COLLECT_WALK_STUB_SAMPLE
      << " /tmp/paths.txt comma\n"
      << "\n"
      << "Without arguments, walks the shipped sample " << COLLECT_WALK_SAMPLE
      << "\nverbosely in a temporary work directory that is removed afterwards.\n";
}

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

// Sets the walk option `name` from `value`. False for an unknown option or a
// bad value; `error` says which.
bool SetValueOption(const std::string& name, const std::string& value,
                    WalkOptions* options, std::string* error) {
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
  } else if (name == "--offset") {
    uint64_t offset = 0;
    numberOk = ParseNumber(value, &offset);
    if (numberOk) options->offset = offset;
  } else {
    *error = "unknown option " + name;
    return false;
  }
  if (!numberOk) *error = name + " needs a non-negative decimal number, not '" + value + "'";
  return numberOk;
}

bool TakesValue(const std::string& name) {
  for (const char* option : {"--work-dir", "--prefix", "--number", "--job-id",
                             "--fields", "--field-count", "--offset"}) {
    if (name == option) return true;
  }
  return false;
}

Command ParseArguments(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  Command command;
  if (args.empty()) {
    command.mode = Mode::kSample;
    return command;
  }
  if (args[0] == "--convert") return ParseConvert(args);
  WalkOptions& options = command.walk;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "-h" || arg == "--help") {
      command.mode = Mode::kHelp;
      return command;
    }
    if (arg == "-v" || arg == "--verbose") {
      options.verbose = true;
    } else if (arg == "--index-cache") {
      options.indexCache = true;
    } else if (arg == "--convert") {
      return BadUsage("--convert must be the first argument");
    } else if (TakesValue(arg)) {
      if (i + 1 == args.size()) return BadUsage(arg + " needs a value");
      std::string error;
      if (!SetValueOption(arg, args[++i], &options, &error)) return BadUsage(error);
    } else if (arg.size() > 1 && arg[0] == '-') {
      return BadUsage("unknown option " + arg);
    } else if (!options.inputFile.empty()) {
      return BadUsage("only one INPUT file, got '" + options.inputFile + "' and '" + arg + "'");
    } else {
      options.inputFile = arg;
    }
  }
  if (options.inputFile.empty()) return BadUsage("no INPUT file given");
  return command;
}

int Failed(const char* operation, const VivodStubCollectReader& reader) {
  std::cerr << kProgram << ": " << operation << " failed: " << reader.m_lastError << '\n';
  return 1;
}

// Skipped records grouped by reason, in the order the reasons first came up.
struct Tally {
  unsigned long records = 0;
  unsigned long skipped = 0;
  std::vector<std::pair<std::string, unsigned long>> reasons;

  void Skip(const std::string& reason) {
    ++skipped;
    for (auto& entry : reasons) {
      if (entry.first == reason) {
        ++entry.second;
        return;
      }
    }
    reasons.emplace_back(reason, 1);
  }
};

void PrintSummary(const Tally& tally) {
  std::cout << "records: " << tally.records << '\n'
            << "skipped: " << tally.skipped << '\n';
  for (const auto& [reason, count] : tally.reasons) {
    std::cout << "  " << count << " x " << reason << '\n';
  }
}

VivodStubCollectReaderInitArgs MakeInitArgs(const WalkOptions& options) {
  VivodStubCollectReaderInitArgs args;
  args.collectFileNumber = options.number;
  args.workDir = options.workDir;
  args.collectFilePrefix = options.prefix;
  args.fieldList = options.fields;
  args.fieldCount = options.fieldCount;
  args.jobId = options.jobId;
  return args;
}

int Walk(const WalkOptions& options) {
  VivodStubCollectReader reader(MakeInitArgs(options));
  reader.m_useIndexCache = options.indexCache;
  if (!reader.Initialize(options.inputFile)) return Failed("Initialize", reader);
  // A fresh reader has no message, so one left by a successful Initialize
  // is a note (an empty collect file), not a failure.
  if (!reader.m_lastError.empty()) std::cout << "note: " << reader.m_lastError << '\n';
  if (!reader.Open()) return Failed("Open", reader);
  if (options.offset && !reader.SetSeekOffset(*options.offset)) {
    return Failed("SetSeekOffset", reader);
  }
  Tally tally;
  std::string name;
  std::string line;
  for (int result; (result = reader.GetItem(name, line)) != 0;) {
    if (result == 1) {
      ++tally.records;
      std::cout << name;
      if (options.verbose) std::cout << '\t' << line;
      std::cout << '\n';
    } else if (reader.m_lastError == kNotReadyMessage) {
      return Failed("GetItem", reader);
    } else {
      tally.Skip(reader.m_lastError);  // that line is consumed; go on
    }
  }
  std::cout << "collect file: " << options.workDir << '/' << reader.m_dstFileName << '\n';
  PrintSummary(tally);
  return 0;
}

int Convert(const ConvertOptions& options) {
  VivodStubCollectReader reader{VivodStubCollectReaderInitArgs{}};
  if (!reader.ProcessStubCollectFile(options.inputFile, options.outputFile,
                                     options.delimiter)) {
    return Failed("ProcessStubCollectFile", reader);
  }
  std::cout << "paths written: " << reader.CountLines(options.outputFile.c_str()) << '\n';
  return 0;
}

// The demonstration works in a directory of its own, so that it neither
// reuses nor leaves behind a collect file in the caller's directory.
int RunSample() {
  const char* tmp = std::getenv("TMPDIR");
  const std::string pattern =
      std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/collect-walk.XXXXXX";
  std::string workDir = pattern;  // mkdtemp fills in the X's, even on failure
  if (::mkdtemp(workDir.data()) == nullptr) {
    std::cerr << kProgram << ": mkdtemp failed for " << pattern << ": "
              << std::strerror(errno) << '\n';
    return 1;
  }
  WalkOptions options;
  options.inputFile = COLLECT_WALK_SAMPLE;
  options.workDir = workDir;
  options.verbose = true;
  std::cout << "sample: " << options.inputFile << '\n'
            << "work dir: " << options.workDir << '\n';
  const int status = Walk(options);
  std::error_code error;
  std::filesystem::remove_all(options.workDir, error);
  if (error) {
    std::cerr << kProgram << ": could not remove " << options.workDir << ": "
              << error.message() << '\n';
    return status != 0 ? status : 1;
  }
  std::cout << "removed " << options.workDir << '\n';
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  const Command command = ParseArguments(argc, argv);
  switch (command.mode) {
    case Mode::kSample:
      return RunSample();
    case Mode::kWalk:
      return Walk(command.walk);
    case Mode::kConvert:
      return Convert(command.convert);
    case Mode::kHelp:
      PrintUsage(std::cout);
      return 0;
    case Mode::kBadUsage:
      break;
  }
  std::cerr << kProgram << ": " << command.error << "\n\n";
  PrintUsage(std::cerr);
  return 2;
}
