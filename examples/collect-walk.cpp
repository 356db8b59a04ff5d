// collect-walk: an example host for libVivodStubCollectReader. It walks the
// collect file for a list of archived files, or converts a stub collect file
// into a plain list of paths. Run it without arguments for a demonstration
// on the shipped sample, and with --help for its options.
//
// Walk() and Convert() below are the two uses of the library; the rest of
// this file only checks what an operator gave, and WalkArguments.cpp reads
// the command line.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "VivodStubCollectReader.h"
#include "WalkArguments.h"

namespace {

VivodStubCollectReaderInitArgs MakeInitArgs(const WalkOptions& options);
std::string CollectFilePath(const WalkOptions& options);
std::string UnusableArgument(const WalkOptions& options, bool collectFileThere);
std::optional<unsigned long> CountPathLines(const std::string& stubFile, char delimiter);
void MoveStdoutPastOutput(const std::string& outputFile);
bool PathExists(const std::string& path);
int Failed(const char* operation, const VivodStubCollectReader& reader);

// Skipped records grouped by reason, in the order the reasons first came up.
struct Tally {
  unsigned long records = 0;
  unsigned long skipped = 0;
  uint64_t nextOffset = 0;  // where a later walk would go on
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
  for (const auto& [reason, count] : tally.reasons) {
    std::cout << "skipped " << count << " x: " << reason << '\n';
  }
  std::cout << "records: " << tally.records << ", skipped: " << tally.skipped
            << ", next offset: " << tally.nextOffset << '\n';
}

int Walk(const WalkOptions& options) {
  // The library reports a missing or unwritable work dir, a directory as
  // INPUT and an impossible prefix alike, as a failed lookup; an operator
  // is better served by hearing which it is before anything runs.
  const std::string collectPath = CollectFilePath(options);
  const bool collectFileThere = PathExists(collectPath);
  const std::string unusable = UnusableArgument(options, collectFileThere);
  if (!unusable.empty()) {
    std::cerr << kProgram << ": " << unusable << '\n';
    return kExitBadArguments;
  }

  VivodStubCollectReader reader(MakeInitArgs(options));
  reader.m_useIndexCache = options.indexCache;
  if (!reader.Initialize(options.inputFile)) return Failed("Initialize", reader);
  // A collect file is reused as it stands, whatever INPUT now lists.
  if (collectFileThere) std::cerr << "reusing existing collect file " << collectPath << '\n';
  // A fresh reader has no message, so one left by a successful Initialize
  // is a note (an empty collect file), not a failure.
  if (!reader.m_lastError.empty()) std::cout << "note: " << reader.m_lastError << '\n';
  if (!reader.Open()) return Failed("Open", reader);
  if (options.offset && !reader.SetSeekOffset(*options.offset)) {
    return Failed("SetSeekOffset", reader);
  }

  // The offset taken before each GetItem is where that call starts reading;
  // the one taken before the final 0 is where a later walk would go on.
  Tally tally;
  std::string name;
  std::string line;
  std::string lastSkip;  // m_lastError of the latest -1
  for (;;) {
    uint64_t start = 0;
    if (!reader.GetSeekOffset(start)) {
      // Before GetItem returns 0, only a read error fails the stream, and
      // the -1 that reported it said why.
      if (lastSkip.empty()) return Failed("GetSeekOffset", reader);
      std::cerr << kProgram << ": GetItem failed: " << lastSkip << '\n';
      return kExitLibraryFailure;
    }
    tally.nextOffset = start;
    const int result = reader.GetItem(name, line);
    if (result == 0) break;
    if (result == 1) {
      ++tally.records;
      if (options.offsets) std::cout << start << '\t';
      std::cout << name;
      if (options.verbose) std::cout << '\t' << line;
      std::cout << '\n';
    } else {  // a consumed line, or a read error that ends the walk
      lastSkip = reader.m_lastError;
      tally.Skip(lastSkip);
    }
  }
  std::cout << "collect file: " << collectPath << '\n';
  PrintSummary(tally);
  return kExitDone;
}

int Convert(const ConvertOptions& options) {
  VivodStubCollectReader reader{VivodStubCollectReaderInitArgs{}};
  if (!reader.ProcessStubCollectFile(options.inputFile, options.outputFile,
                                     options.delimiter)) {
    return Failed("ProcessStubCollectFile", reader);
  }
  // OUTPUT may be a pipe (even our own standard output) or /dev/null, so the
  // paths are counted from what went in, never read back from OUTPUT.
  const std::optional<unsigned long> paths =
      CountPathLines(options.inputFile, options.delimiter);
  MoveStdoutPastOutput(options.outputFile);
  if (paths) {
    std::cout << "paths written: " << *paths << '\n';
  } else {
    std::cout << "paths written: not counted, INPUT is not a regular file\n";
  }
  return kExitDone;
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
    return kExitLibraryFailure;
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
    return status != kExitDone ? status : kExitLibraryFailure;
  }
  std::cout << "removed " << options.workDir << '\n';
  return status;
}

// ---------------------------------------------------------------------------
// Helpers of the walk and the conversion.

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

std::string CollectFileName(const WalkOptions& options) {
  return options.prefix + "_" + std::to_string(options.number) + ".lmf";
}

// The path the reader uses: workDir + "/" + name, as its header says.
std::string CollectFilePath(const WalkOptions& options) {
  return options.workDir + "/" + CollectFileName(options);
}

bool PathExists(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0;
}

bool IsDirectory(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// The longest file name that `dir`'s file system takes.
long NameMax(const std::string& dir) {
  const long limit = ::pathconf(dir.c_str(), _PC_NAME_MAX);
  return limit > 0 ? limit : NAME_MAX;
}

// Why the walk cannot use the work dir, INPUT or prefix it was given; empty
// when it can. The work dir must be writable only when the index service
// has to write the collect file.
std::string UnusableArgument(const WalkOptions& options, bool collectFileThere) {
  const std::string name = CollectFileName(options);
  if (options.prefix.find('/') != std::string::npos) {
    return "prefix '" + options.prefix + "' holds a '/', but the collect file " +
           "must sit in the work dir itself";
  }
  if (!PathExists(options.workDir)) return "work dir " + options.workDir + " does not exist";
  if (!IsDirectory(options.workDir)) {
    return "work dir " + options.workDir + " is not a directory";
  }
  if (static_cast<long>(name.size()) > NameMax(options.workDir)) {
    return "collect file name " + name + " is " + std::to_string(name.size()) +
           " bytes, longer than the " + std::to_string(NameMax(options.workDir)) +
           " the file system of " + options.workDir + " allows; shorten the prefix";
  }
  if (IsDirectory(options.inputFile)) {
    return "INPUT " + options.inputFile + " is a directory, not a list of archived files";
  }
  if (!collectFileThere && ::access(options.workDir.c_str(), W_OK | X_OK) != 0) {
    return "work dir " + options.workDir + " is not writable, so the collect file " +
           name + " cannot be written there";
  }
  return std::string();
}

// Whether ProcessStubCollectFile writes a path for `line` (without its line
// feed): a line over 16 MiB yields none, one trailing CR or TAB is dropped,
// the path is the text after the first delimiter up to the last ':' after
// it, and an empty path is not written.
bool YieldsPath(std::string_view line, char delimiter) {
  constexpr std::size_t kLongestStubLine = std::size_t{16} * 1024 * 1024;
  if (line.size() > kLongestStubLine) return false;
  if (!line.empty() && (line.back() == '\r' || line.back() == '\t')) line.remove_suffix(1);
  const std::size_t split = line.find(delimiter);
  if (split == std::string_view::npos) return false;
  const std::string_view rest = line.substr(split + 1);
  return !rest.empty() && rest.rfind(':') != 0;
}

// The paths ProcessStubCollectFile writes for `stubFile`. Unset when the file
// is no regular file, which might not give its lines a second time.
std::optional<unsigned long> CountPathLines(const std::string& stubFile, char delimiter) {
  struct stat info {};
  if (::stat(stubFile.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
  std::ifstream in(stubFile, std::ios::binary);
  if (!in) return std::nullopt;
  unsigned long paths = 0;
  for (std::string line; std::getline(in, line);) {
    if (YieldsPath(line, delimiter)) ++paths;
  }
  if (in.bad()) return std::nullopt;
  return paths;
}

// When OUTPUT is the file our standard output goes to (/dev/stdout
// redirected to a file), the library wrote it through a descriptor of its
// own; without this, our next line would overwrite its first paths.
void MoveStdoutPastOutput(const std::string& outputFile) {
  struct stat out {};
  struct stat written {};
  if (::fstat(STDOUT_FILENO, &out) != 0 || !S_ISREG(out.st_mode)) return;
  if (::stat(outputFile.c_str(), &written) != 0) return;
  if (out.st_dev != written.st_dev || out.st_ino != written.st_ino) return;
  std::cout.flush();
  ::lseek(STDOUT_FILENO, 0, SEEK_END);
}

int Failed(const char* operation, const VivodStubCollectReader& reader) {
  std::cerr << kProgram << ": " << operation << " failed: " << reader.m_lastError << '\n';
  return kExitLibraryFailure;
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
      PrintHelp(std::cout);
      return kExitDone;
    case Mode::kBadUsage:
      break;
  }
  PrintBadUsage(std::cerr, command.error);
  return kExitBadArguments;
}
