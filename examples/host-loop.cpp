// The host loop and the checkpoint recipe of the README, as one program that
// a host can start from.
//
//   host-loop INPUT WORK_DIR [STOP_AFTER]
//
// Prepares the collect file for INPUT, a list of archived files, in
// WORK_DIR and prints the file name and raw line of every record; skipped
// lines are told on standard error. The job's progress is kept in WORK_DIR/progress, so a
// later run goes on where an earlier one stopped. With STOP_AFTER the run
// stops after that many results, as a host does when its job is paused.
// Exit status: 0 when done or paused, 1 on a failure.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>

#include "VivodStubCollectReader.h"

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
// the old or the new offset (a temporary file, synced, then renamed).
bool SaveProgress(const std::string& file, uint64_t offset) {
  const std::string temporary = file + ".new";
  {
    std::ofstream out(temporary, std::ios::trunc);
    if (!(out << offset << '\n') || !out.flush()) return false;
  }
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

// The walk from `offset`, where the reader stands. The walk keeps the offset
// of the next line itself: asking GetSeekOffset costs a system call, and
// asked for every record it would slow a walk several times over.
// Returns the exit status.
int WalkRecords(VivodStubCollectReader& reader, const std::string& progress, uint64_t offset,
                unsigned long stopAfter) {
  std::string fileName;
  std::string line;
  unsigned long done = 0;
  for (int result; (result = reader.GetItem(fileName, line)) != 0;) {
    if (result == 1) {
      std::cout << fileName << '\t' << line << '\n';  // the host archives it, say
      offset += line.size() + 1;                      // the raw line and its line feed
    } else {  // an empty line, a short record, an overlong line or a read error
      const std::string told = reader.m_lastError;
      // A -1 hands out no line, so ask; only after a read error can it fail.
      if (!reader.GetSeekOffset(offset)) return Fail(told);
      std::cerr << "skipped: " << told << '\n';
    }
    if (++done % kCheckpointEvery == 0 || done == stopAfter) {
      Checkpoint(progress, offset);
      if (done == stopAfter) return 0;
    }
  }
  std::remove(progress.c_str());  // the job is done
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
  const uint64_t offset = LoadProgress(progress);
  if (!reader.SetSeekOffset(offset)) return Fail(reader.m_lastError);
  return WalkRecords(reader, progress, offset, stopAfter);
}
