// The host loop and the checkpoint recipe of the README, as one program that
// a host can start from.
//
//   host-loop INPUT WORK_DIR [STOP_AFTER]
//
// Prepares the collect file for INPUT, a list of archived files, in
// WORK_DIR and prints the file name and raw line of every record; skipped
// lines are told on standard error. The job's progress is kept in
// WORK_DIR/progress, so a later run goes on where an earlier one stopped. With STOP_AFTER the run
// stops after that many results, as a host does when its job is paused.
// Exit status: 0 when done or paused, 1 on a failure.
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>

#include "VivodStubCollectReader.h"
#include "VivodStubCollectWalk.h"

namespace {

// Results between two checkpoints.
constexpr unsigned long kCheckpointEvery = 10000;

int Fail(const std::string& why) {
  std::cerr << "host-loop: " << why << '\n';
  return 1;
}

// The offset to resume at; 0 for a new job.
uint64_t LoadProgress(const std::string& file) {
  std::ifstream in(file);
  uint64_t offset = 0;
  return in >> offset ? offset : 0;
}

// A host keeps its progress with its job, written so that a crash leaves
// the old or the new offset: a temporary file, synced, then renamed over
// the old one. (The directory is not synced: a crash may lose the rename,
// and the next run then repeats the records since the checkpoint before.)
bool SaveProgress(const std::string& file, uint64_t offset) {
  const std::string temporary = file + ".new";
  const std::string text = std::to_string(offset) + "\n";
  const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  const bool written = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  const bool synced = written && ::fsync(fd) == 0;
  if (::close(fd) != 0 || !synced) return false;
  return std::rename(temporary.c_str(), file.c_str()) == 0;
}

void Checkpoint(const std::string& progress, uint64_t offset) {
  if (!SaveProgress(progress, offset)) {
    std::cerr << "host-loop: could not store the progress in " << progress << '\n';
  }
}

VivodStubCollectReaderInitArgs JobArgs(const std::string& workDir) {
  VivodStubCollectReaderInitArgs args;
  args.workDir = workDir;
  args.collectFilePrefix = "example";
  args.collectFileNumber = 1;     // the collect file WORK_DIR/example_1.lmf
  args.jobId = "example-job";     // handed to the index service
  // fieldList left empty: the default seven fields, the file name fifth
  return args;
}

// The walk from `offset`, a checkpoint of an earlier run or 0. The walker
// hands out, with every result, the offset at which the next line begins:
// the one to store. Returns the exit status.
int WalkRecords(VivodStubCollectReader& reader, const std::string& progress, uint64_t offset,
                unsigned long stopAfter) {
  unsigned long done = 0;
  bool paused = false;
  // After each result: a checkpoint now and then, and the pause.
  const auto goOn = [&](uint64_t next) {
    if (++done % kCheckpointEvery == 0 || done == stopAfter) Checkpoint(progress, next);
    paused = done == stopAfter;
    return !paused;
  };
  const bool walked = WalkCollectRange(
      reader, offset, UINT64_MAX,
      [&](const std::string& fileName, const std::string& line, uint64_t next) {
        std::cout << fileName << '\t' << line << '\n';  // the host archives it, say
        return goOn(next);
      },
      [&](const std::string& message, uint64_t next) {
        // an empty line, a short record, an overlong line
        std::cerr << "skipped: " << message << '\n';
        return goOn(next);
      });
  if (!walked) return Fail(reader.m_lastError);
  if (!paused) std::remove(progress.c_str());  // the job is done
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3 || argc > 4) return Fail("usage: host-loop INPUT WORK_DIR [STOP_AFTER]");
  const std::string workDir = argv[2];
  const unsigned long stopAfter = argc == 4 ? std::strtoul(argv[3], nullptr, 10) : 0;

  VivodStubCollectReader reader(JobArgs(workDir));
  if (!reader.Initialize(argv[1]) || !reader.Open()) return Fail(reader.m_lastError);
  const std::string progress = workDir + "/progress";
  return WalkRecords(reader, progress, LoadProgress(progress), stopAfter);
}
