// Distinct readers share nothing: threads that each walk and seek their own
// collect file, with conversions running beside them, get what a lone
// reader gets. Readers racing to produce the same collect file each get
// every record or a failure, never part of the file. Children that a host
// thread starts while readers open inherit no collect file. The
// ThreadSanitizer build runs these too.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <future>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "ChildProcess.h"
#include "CollectTestHarness.h"
#include "standins/EvDebugControl.h"
#include "standins/FetchIndexInfoControl.h"

namespace {

constexpr int kRecords = 1000;

std::string ArchivedPath(int owner, int record) {
  return "/archive/" + std::to_string(owner) + "/file-" + std::to_string(record);
}

std::vector<std::string> PathsOf(int owner) {
  std::vector<std::string> paths;
  for (int record = 0; record < kRecords; ++record) paths.push_back(ArchivedPath(owner, record));
  return paths;
}

std::string ListOf(int owner) {
  std::string list;
  for (const std::string& path : PathsOf(owner)) list += path + "\n";
  return list;
}

// Runs body(0) .. body(count - 1) on threads of their own, released at
// once, and waits for all of them.
void RunThreads(int count, const std::function<void(int)>& body) {
  std::promise<void> start;
  const std::shared_future<void> go = start.get_future().share();
  std::vector<std::thread> threads;
  for (int i = 0; i < count; ++i) {
    threads.emplace_back([&body, go, i] {
      go.wait();
      body(i);
    });
  }
  start.set_value();
  for (std::thread& thread : threads) thread.join();
}

// What one reader thread saw; checked on the main thread.
struct ReaderRun {
  bool prepared = false;
  std::string error;                // why Initialize or Open failed
  std::vector<std::string> names;   // every name GetItem gave, in order
  std::vector<std::string> faults;  // anything else GetItem or a seek did
};

// Reads to the end, noting where each record starts.
void Walk(VivodStubCollectReader& reader, ReaderRun* run, std::vector<uint64_t>* offsets) {
  std::string name, line;
  for (;;) {
    uint64_t offset = 0;
    if (offsets != nullptr && reader.GetSeekOffset(offset)) offsets->push_back(offset);
    const int result = reader.GetItem(name, line);
    if (result == 0) break;
    if (result == 1) run->names.push_back(name);
    if (result == -1) run->faults.push_back(reader.m_lastError);
  }
}

// Seeks back to every 37th record, last first, and reads it again.
void Revisit(VivodStubCollectReader& reader, const std::vector<uint64_t>& offsets,
             const std::vector<std::string>& expected, ReaderRun* run) {
  std::string name, line;
  for (std::size_t i = offsets.size(); i-- > 0;) {
    if (i % 37 != 0) continue;
    if (!reader.SetSeekOffset(offsets[i]) || reader.GetItem(name, line) != 1 ||
        name != expected[i]) {
      run->faults.push_back("revisiting record " + std::to_string(i) + " gave " + name);
    }
  }
}

// A reader with `args` on the list `input`, initialized, opened and walked;
// with `revisit`, it then seeks back to records of `owner`'s list.
ReaderRun WalkReader(const VivodStubCollectReaderInitArgs& args, const std::string& input,
                     int owner = 0, bool revisit = false) {
  VivodStubCollectReader reader(args);
  ReaderRun run;
  run.prepared = reader.Initialize(input) && reader.Open();
  if (!run.prepared) {
    run.error = reader.m_lastError;
    return run;
  }
  std::vector<uint64_t> offsets;
  Walk(reader, &run, revisit ? &offsets : nullptr);
  if (revisit && offsets.size() == run.names.size()) Revisit(reader, offsets, PathsOf(owner), &run);
  return run;
}

// Whether `run` gave every record of `owner`'s list, in order, and nothing
// else.
::testing::AssertionResult GotEveryRecord(const ReaderRun& run, int owner) {
  if (!run.prepared) return ::testing::AssertionFailure() << "not prepared: " << run.error;
  if (run.names != PathsOf(owner)) {
    return ::testing::AssertionFailure() << run.names.size() << " records, not those listed";
  }
  if (!run.faults.empty()) return ::testing::AssertionFailure() << run.faults.front();
  return ::testing::AssertionSuccess();
}

class Concurrency : public CollectTest {
 protected:
  Concurrency() { standin::ResetIndexService(); }

  // Converts stub file `k` (of kRecords stubs, written here) `rounds`
  // times; returns what went wrong.
  std::vector<std::string> ConvertRounds(int k, int rounds) {
    const std::string paths = ListOf(100 + k);
    std::string stub;
    for (int j = 0; j < kRecords; ++j) stub += "host:" + ArchivedPath(100 + k, j) + ":1\n";
    const std::string input = m_dir.File("stub" + std::to_string(k));
    const std::string output = m_dir.File("paths" + std::to_string(k));
    WriteFile(input, stub);
    std::vector<std::string> faults;
    VivodStubCollectReader converter{VivodStubCollectReaderInitArgs()};
    for (int round = 0; round < rounds; ++round) {
      if (!converter.ProcessStubCollectFile(input, output, ':')) {
        faults.push_back(converter.m_lastError);
      } else if (ReadFile(output) != paths) {
        faults.push_back("round " + std::to_string(round) + " wrote other paths");
      }
    }
    return faults;
  }
};

// Lines the log writer took for the output file `output`.
long LinesLoggedFor(const std::vector<standin::DebugEvent>& events, const std::string& output) {
  const std::string tail = " to file [" + output + "].";
  return std::count_if(events.begin(), events.end(), [&](const standin::DebugEvent& e) {
    return e.kind == "line" && e.message.size() > tail.size() &&
           e.message.compare(e.message.size() - tail.size(), tail.size(), tail) == 0;
  });
}

TEST_F(Concurrency, ReadersAndConversionsOnTheirOwnFilesDoNotDisturbEachOther) {
  constexpr int kReaders = 4;
  constexpr int kConverters = 2;
  constexpr int kRounds = 3;
  for (int i = 0; i < kReaders; ++i) WriteFile(m_dir.File("walk" + std::to_string(i)), ListOf(i));
  std::vector<ReaderRun> readers(kReaders);
  std::vector<std::vector<std::string>> conversions(kConverters);
  standin::StartDebugCapture();
  RunThreads(kReaders + kConverters, [&](int i) {
    if (i >= kReaders) {
      conversions[i - kReaders] = ConvertRounds(i - kReaders, kRounds);
      return;
    }
    VivodStubCollectReaderInitArgs args = Args();
    args.collectFilePrefix = "walk" + std::to_string(i);
    readers[i] = WalkReader(args, m_dir.File("walk" + std::to_string(i)), i, true);
  });
  const std::vector<standin::DebugEvent> events = standin::StopDebugCapture();
  for (int i = 0; i < kReaders; ++i) EXPECT_TRUE(GotEveryRecord(readers[i], i)) << "reader " << i;
  for (int k = 0; k < kConverters; ++k) {
    EXPECT_EQ(std::vector<std::string>(), conversions[k]) << "converter " << k;
    EXPECT_EQ(kRounds * kRecords, LinesLoggedFor(events, m_dir.File("paths" + std::to_string(k))))
        << "converter " << k;
  }
}

TEST_F(Concurrency, RacingReadersOfOneCollectFileGetEveryRecordOrAFailure) {
  // Every lookup takes a while, and what it has written shows in the file
  // as it goes: a reader that took a file still being written for the
  // collect file would get part of the records.
  constexpr int kRacers = 6;
  const std::string input = WriteInputList(ListOf(0));
  standin::SlowIndexLookup(std::chrono::microseconds(100));
  std::vector<ReaderRun> racers(kRacers);
  RunThreads(kRacers, [&](int i) {
    // Staggered, so that some start while others write and some after the
    // first file is published.
    std::this_thread::sleep_for(std::chrono::milliseconds(40) * i);
    racers[i] = WalkReader(Args(), input);
  });
  const std::vector<std::string> failures = {
      "FetchIndexInfo failed to init.", "FetchIndexInfo failed to lookup in Indexing.",
      "Failed to publish collect file " + CollectPath()};
  int prepared = 0;
  for (int i = 0; i < kRacers; ++i) {
    prepared += racers[i].prepared ? 1 : 0;
    const bool failedAsTold = !racers[i].prepared &&
        std::find(failures.begin(), failures.end(), racers[i].error) != failures.end();
    EXPECT_TRUE(failedAsTold || GotEveryRecord(racers[i], 0)) << "racer " << i << ": "
                                                            << GotEveryRecord(racers[i], 0).message();
  }
  EXPECT_GE(prepared, 1);
  // Every lookup either published its file or removed it.
  EXPECT_EQ((std::vector<std::string>{"input.lst", "stubs_42.lmf"}), SortedEntries(m_dir.path()));
}

// What a child that this process starts now finds open: `ls -l
// /proc/self/fd`, each descriptor and the file it stands for, started
// through popen as a host's thread might start one. Empty when no child
// could be started.
std::string DescriptorsOfAChild() {
  try {
    return RunCommand("exec ls -l /proc/self/fd").out;
  } catch (const std::runtime_error&) {
    return std::string();
  }
}

// A host's threads start children while others read collect files. A
// descriptor marked close-on-exec only after its open would reach some of
// them; one opened with O_CLOEXEC reaches none.
TEST_F(Concurrency, ChildrenStartedWhileReadersOpenInheritNoCollectFile) {
  constexpr int kChildren = 200;
  const std::string kCollectName = "stubs_42.lmf";
  WriteCollectFile(Record("/a") + "\n");
  const std::string input = WriteInputList("/a\n");
  // The control: the listing shows a collect file that a child does inherit.
  const int inherited = ::open(CollectPath().c_str(), O_RDONLY);
  ASSERT_GE(inherited, 0);
  const std::string control = DescriptorsOfAChild();
  ::close(inherited);
  ASSERT_NE(std::string::npos, control.find(kCollectName)) << control;

  std::atomic<bool> spawning{true};
  int listed = 0, inheriting = 0, opened = 0;
  std::string example;
  RunThreads(2, [&](int i) {
    if (i == 0) {
      for (int k = 0; k < kChildren; ++k) {
        const std::string listing = DescriptorsOfAChild();
        listed += listing.empty() ? 0 : 1;
        if (listing.find(kCollectName) == std::string::npos) continue;
        ++inheriting;
        example = listing;
      }
      spawning = false;
      return;
    }
    while (spawning) {
      VivodStubCollectReader reader(Args());
      opened += reader.Initialize(input) && reader.Open() ? 1 : 0;
      reader.CountLines(CollectPath().c_str());
    }
  });
  EXPECT_EQ(kChildren, listed);
  EXPECT_GT(opened, kChildren);
  EXPECT_EQ(0, inheriting) << example;
}

// Runs `job` in a grandchild that is pid 1 of a PID namespace of its own, as
// a job in a container is. It waits until `goFd` reads the end of the pipe,
// then writes "pid <its pid>: " and what `job` returned to `reportPath`.
// Returns the child that waits for it, which exits with 77 when no PID
// namespace can be made, else with the grandchild's status.
pid_t StartInItsOwnPidNamespace(const std::function<std::string()>& job, const int go[2],
                                const std::string& reportPath) {
  const pid_t keeper = ::fork();
  if (keeper != 0) return keeper;
  ::close(go[1]);
  if (::unshare(CLONE_NEWPID) != 0) ::_exit(77);
  const pid_t inner = ::fork();
  if (inner == 0) {
    char byte;
    while (::read(go[0], &byte, 1) > 0) {
    }
    try {
      WriteFile(reportPath, "pid " + std::to_string(::getpid()) + ": " + job());
    } catch (...) {
      ::_exit(79);
    }
    ::_exit(0);
  }
  int status = 0;
  if (inner < 0 || ::waitpid(inner, &status, 0) != inner) ::_exit(78);
  ::_exit(WIFEXITED(status) ? WEXITSTATUS(status) : 80);
}

// Jobs in separate PID namespaces that share a work dir often have the same
// pid. Were that all that told their temporaries apart, one job's service
// would write into the other's file while it is being written.
TEST_F(Concurrency, JobsWithTheSamePidInSeparatePidNamespacesEachGetEveryRecord) {
  constexpr int kJobs = 2;
  const std::string input = WriteInputList(ListOf(0));
  standin::SlowIndexLookup(std::chrono::microseconds(100));
  const auto job = [&] {
    const ::testing::AssertionResult every = GotEveryRecord(WalkReader(Args(), input), 0);
    return every ? std::string("every record") : std::string(every.message());
  };
  TempDir reports;
  int go[2];
  ASSERT_EQ(0, ::pipe(go));
  std::vector<pid_t> keepers;
  for (int i = 0; i < kJobs; ++i) {
    keepers.push_back(StartInItsOwnPidNamespace(job, go, reports.File(std::to_string(i))));
  }
  ::close(go[0]);
  ::close(go[1]);  // both jobs start now
  std::vector<int> statuses;
  for (const pid_t keeper : keepers) {
    int status = -1;
    ::waitpid(keeper, &status, 0);
    statuses.push_back(status);
  }
  for (const int status : statuses) {
    if (WIFEXITED(status) && WEXITSTATUS(status) == 77) GTEST_SKIP() << "no PID namespaces here";
  }
  for (int i = 0; i < kJobs; ++i) {
    EXPECT_TRUE(WIFEXITED(statuses[i]) && WEXITSTATUS(statuses[i]) == 0) << statuses[i];
    EXPECT_EQ("pid 1: every record", ReadFile(reports.File(std::to_string(i)))) << "job " << i;
  }
  EXPECT_EQ((std::vector<std::string>{"input.lst", "stubs_42.lmf"}), SortedEntries(m_dir.path()));
}

}  // namespace
