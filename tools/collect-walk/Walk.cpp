// The walks: Initialize prepares the collect file, which is then cut into
// ranges or walked, whole or one range, by the shipped walker.
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>

#include "CollectFileNames.h"
#include "CollectWalk.h"
#include "VivodStubCollectWalk.h"

namespace {

namespace fs = std::filesystem;

int Failed(const char* call, const VivodStubCollectReader& reader) {
  Complain(std::string(call) + " failed: " + reader.m_lastError);
  return kExitFailure;
}

std::string CollectPath(const VivodStubCollectReader& reader) {
  return vscr::CollectFilePath(reader.m_args, reader.m_dstFileName);
}

// Runs Initialize and tells what it noticed: a collect file reused as it
// stands, whatever INPUT now lists, and the note that a successful
// Initialize leaves for an empty one. An interrupt meanwhile removes the
// temporary that this process started.
bool Prepare(Tool& tool, const WalkOptions& options, VivodStubCollectReader& reader) {
  const std::string collectPath = vscr::CollectFilePath(options.args, vscr::CollectFileName(options.args));
  std::error_code error;
  const bool existed = fs::exists(fs::symlink_status(collectPath, error));
  const vscr_tool::InterruptCleanup::Guard guard = tool.interrupts.Add([collectPath] {
    for (const std::string& path : RemoveOwnTemporaries(collectPath)) {
      WriteToStandardError("collect-walk: interrupted; removed " + path + "\n");
    }
  });
  reader.m_useIndexCache = options.indexCache;
  if (!reader.Initialize(options.inputFile)) return Failed("Initialize", reader) == kExitDone;
  if (existed) std::cerr << "reusing existing collect file " << CollectPath(reader) << '\n';
  if (!reader.m_lastError.empty()) std::cerr << "note: " << reader.m_lastError << '\n';
  return true;
}

// Cut `i` of `n` of `size` bytes: size * i / n without overflow, as
// size = q * n + r and r * i stays below n * n.
uint64_t Cut(uint64_t size, uint64_t i, uint64_t n) { return size / n * i + size % n * i / n; }

int WalkRange(Tool& tool, VivodStubCollectReader& reader, const WalkOptions& options,
              uint64_t begin, uint64_t end, std::optional<uint64_t> size) {
  if (!reader.Open()) return Failed("Open", reader);
  begin = std::min(begin, size.value_or(begin));  // spares a seek far past the end
  unsigned long records = 0;
  unsigned long skipped = 0;
  ProgressLine progress(ShowsProgress(options.progress), begin,
                        size ? std::optional<uint64_t>(std::min(end, *size)) : std::nullopt);
  const auto print = [&](uint64_t next, const std::string& text, const std::string& line) {
    if (options.offsets) std::cout << next << '\t';
    std::cout << text << (line.empty() ? "" : "\t") << line << '\n';
    progress.Advance(next, records);
    return tool.output.Holds();  // a failed write stops the walk
  };
  const bool walked = WalkCollectRange(
      reader, begin, end,
      [&](const std::string& name, const std::string& line, uint64_t next) {
        ++records;
        return print(next, name, options.verbose ? line : std::string());
      },
      // In its record's place, so that ranges put together are a whole walk.
      [&](const std::string& message, uint64_t next) {
        ++skipped;
        return print(next, "skipped: " + message, std::string());
      });
  progress.Clear();
  if (!walked) return Failed("WalkCollectRange", reader);
  std::cout.flush();  // no summary of lines that were lost
  if (!tool.output.Holds()) return kExitFailure;
  // The first line the walk did not take; a stream at the end tells none.
  uint64_t next = begin;
  if (!reader.GetSeekOffset(next)) next = size.value_or(begin);
  std::cerr << "collect file: " << CollectPath(reader) << "\nrecords: " << records
            << ", skipped: " << skipped << ", next offset: " << next << '\n';
  return kExitDone;
}

}  // namespace

int Walk(Tool& tool, const WalkOptions& options) {
  if (!tool.output.Holds()) return kExitFailure;  // no collect file made for nobody
  VivodStubCollectReader reader(options.args);
  if (!Prepare(tool, options, reader)) return kExitFailure;
  struct stat info {};  // only a regular file's size tells of its contents
  std::optional<uint64_t> size;
  if (::stat(CollectPath(reader).c_str(), &info) == 0 && S_ISREG(info.st_mode)) {
    size = static_cast<uint64_t>(info.st_size);
  }
  const uint32_t n = options.shards;
  const uint32_t i = options.shard;
  if (n == 0) return WalkRange(tool, reader, options, options.begin, options.end, size);
  if (!size) {
    Complain(CollectPath(reader) + " is not a regular file: no size to cut");
    return kExitFailure;
  }
  if (i != 0) return WalkRange(tool, reader, options, Cut(*size, i - 1, n), Cut(*size, i, n), size);
  for (uint32_t k = 0; k < n && tool.output.Holds(); ++k) {
    std::cout << Cut(*size, k, n) << ' ' << Cut(*size, k + 1, n) << '\n';
  }
  return kExitDone;
}

// The shipped sample, found from the program: no folder of the build is in it.
int RunSample(Tool& tool) {
  if (!tool.output.Holds()) return kExitFailure;
  std::error_code error;
  std::string dir = (fs::temp_directory_path(error) / "collect-walk.XXXXXX").string();
  if (::mkdtemp(dir.data()) == nullptr) {
    Complain(dir + ": " + std::strerror(errno));
    return kExitFailure;
  }
  WalkOptions options;
  options.args.workDir = dir;
  options.verbose = true;
  const fs::path program = fs::read_symlink("/proc/self/exe", error);
  options.inputFile = (program.parent_path() / COLLECT_WALK_SAMPLE_FROM_BIN / "archived-files.lst")
                          .lexically_normal().string();
  std::cerr << "sample: " << options.inputFile << "\nwork dir: " << dir << '\n';
  int status = kExitFailure;
  {
    const vscr_tool::InterruptCleanup::Guard guard = tool.interrupts.Add([dir] {
      std::error_code ignored;
      if (fs::remove_all(dir, ignored) > 0) WriteToStandardError("collect-walk: interrupted; removed " + dir + "\n");
    });
    status = Walk(tool, options);
  }
  fs::remove_all(dir, error);
  if (!error) return (std::cerr << "removed " << dir << '\n', status);
  Complain("could not remove " + dir + ": " + error.message());
  return kExitFailure;  // even after a walk that went well: it left a collect file
}
