#include "Preparation.h"

#include <filesystem>
#include <iostream>
#include <system_error>

#include "Report.h"
#include "WorkDir.h"

namespace {

// The library's message, then the cause behind it where the work dir shows
// one: that is an argument the walk cannot use.
int InitializeFailed(const VivodStubCollectReader& reader) {
  Failed("Initialize", reader);
  const std::string cause = CollectFileProblem(reader);
  if (cause.empty()) return kExitLibraryFailure;
  Complain(cause);
  return kExitBadArguments;
}

}  // namespace

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

int PrepareCollectFile(const WalkOptions& options, VivodStubCollectReader& reader,
                       std::ostream& notes) {
  const std::string unusable = UnusableArgument(options);
  if (!unusable.empty()) {
    Complain(unusable);
    return kExitBadArguments;
  }
  const DirectoryNames before(options.workDir);
  reader.m_useIndexCache = options.indexCache;
  if (!reader.Initialize(options.inputFile)) return InitializeFailed(reader);
  // A collect file is reused as it stands, whatever INPUT now lists.
  if (before.Holds(reader.m_dstFileName)) {
    std::cerr << "reusing existing collect file " << CollectPath(reader) << '\n';
  } else if (options.range) {
    std::cerr << "made collect file " << CollectPath(reader)
              << "; run --shards first, so that all ranges read one file\n";
  }
  // A fresh reader has no message, so one left by a successful Initialize
  // is a note (an empty collect file), not a failure.
  if (!reader.m_lastError.empty()) notes << "note: " << reader.m_lastError << '\n';
  return kExitDone;
}

std::string CollectPath(const VivodStubCollectReader& reader) {
  return reader.m_args.workDir + "/" + reader.m_dstFileName;
}

std::optional<uint64_t> CollectFileSize(const VivodStubCollectReader& reader) {
  const std::filesystem::path path = CollectPath(reader);
  std::error_code error;
  if (!std::filesystem::is_regular_file(path, error)) return std::nullopt;
  const std::uintmax_t size = std::filesystem::file_size(path, error);
  if (error) return std::nullopt;
  return static_cast<uint64_t>(size);
}
