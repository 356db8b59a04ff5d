// Every file call that an operation of the reader makes is made to fail in
// turn, with each errno a file system can give, through the preloaded
// fault library. Whatever fails, a host must either get the complete result
// or be told of the failure: never a success with data missing, never the
// end of the records before the last one.
#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <utility>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "FaultInjection.h"
#include "CollectTestHarness.h"
#include "LineLimits.h"
#include "TemporaryNames.h"
#include "standins/EvDebugControl.h"
#include "standins/FetchIndexInfoControl.h"

namespace {

const char* const kFamilies[] = {"open",   "read",  "write", "close", "fsync",
                                 "rename", "lseek", "stat",  "random"};
const int kErrors[] = {EIO, ENOSPC, EACCES, EPERM, EINTR};
constexpr char kNoFile[] = "<no file>";

// The control functions of the preloaded fault library.
class Faults {
 public:
  Faults()
      : m_failNth(Lookup<vscr_faults_fail_nth_fn>("vscr_faults_fail_nth")),
        m_interrupt(Lookup<vscr_faults_interrupt_fn>("vscr_faults_interrupt")),
        m_alsoFailNth(Lookup<vscr_faults_also_fail_nth_fn>("vscr_faults_also_fail_nth")),
        m_stop(Lookup<vscr_faults_stop_fn>("vscr_faults_stop")),
        m_calls(Lookup<vscr_faults_calls_fn>("vscr_faults_calls")),
        m_trace(Lookup<vscr_faults_trace_fn>("vscr_faults_trace")),
        m_fixRandom(Lookup<vscr_faults_fix_random_fn>("vscr_faults_fix_random")),
        m_failReadsAt(Lookup<vscr_faults_fail_reads_at_fn>("vscr_faults_fail_reads_at")) {}
  ~Faults() {
    if (m_fixRandom) m_fixRandom(-1);
  }

  bool loaded() const {
    return m_failNth && m_alsoFailNth && m_interrupt && m_stop && m_calls && m_trace && m_fixRandom &&
           m_failReadsAt;
  }
  void CountOnly() { m_failNth(nullptr, 0, 0); }
  void FailNth(const char* family, unsigned long nth, int error) {
    ASSERT_EQ(0, m_failNth(family, nth, error)) << family;
  }
  void AlsoFailNth(const char* family, unsigned long nth, int error) {
    ASSERT_EQ(0, m_alsoFailNth(family, nth, error)) << family;
  }
  // getrandom's nth call from now fills its buffer with the byte first + n - 1.
  void FixRandom(int first) { m_fixRandom(first); }
  // The opens, fsyncs and renames of the last plan, one per line.
  std::vector<std::string> Trace() const {
    std::vector<std::string> lines;
    std::istringstream in(m_trace());
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }
  void InterruptEverySecondCall() { m_interrupt(); }
  void FailReadsAt(uint64_t offset, int error) { m_failReadsAt(offset, error); }
  // True when the planned fault was injected.
  bool Stop() { return m_stop() != 0; }
  unsigned long Calls(const char* family) const { return m_calls(family); }

 private:
  template <typename Function>
  static Function Lookup(const char* name) {
    return reinterpret_cast<Function>(::dlsym(RTLD_DEFAULT, name));
  }

  vscr_faults_fail_nth_fn m_failNth;
  vscr_faults_interrupt_fn m_interrupt;
  vscr_faults_also_fail_nth_fn m_alsoFailNth;
  vscr_faults_stop_fn m_stop;
  vscr_faults_calls_fn m_calls;
  vscr_faults_trace_fn m_trace;
  vscr_faults_fix_random_fn m_fixRandom;
  vscr_faults_fail_reads_at_fn m_failReadsAt;
};

// What a host sees of one operation.
struct Outcome {
  bool ok = false;
  std::string message;              // m_lastError afterwards
  std::vector<std::string> events;  // results along the way
  std::string data;                 // what the operation left on disk
};

bool operator==(const Outcome& a, const Outcome& b) {
  return a.ok == b.ok && a.message == b.message && a.events == b.events && a.data == b.data;
}

std::string Describe(const Outcome& outcome) {
  std::string text = std::string(outcome.ok ? "ok" : "failed") + ", message '" +
                     outcome.message + "', " + std::to_string(outcome.events.size()) +
                     " events, " + std::to_string(outcome.data.size()) + " bytes left";
  if (!outcome.events.empty()) text += ", last event '" + outcome.events.back() + "'";
  return text;
}

bool OneOf(const std::string& text, const std::vector<std::string>& choices) {
  for (const std::string& choice : choices) {
    if (text == choice) return true;
  }
  return false;
}

// One operation of the reader, run again and again in the same surroundings.
struct Operation {
  std::function<void()> prepare;        // before the plan starts
  std::function<Outcome()> run;         // under the plan: no file calls of the test's own
  std::function<std::string()> gather;  // after the plan: what the run left on disk
  // Whether `outcome`, which differs from the clean run's, is a told failure.
  std::function<::testing::AssertionResult(const Outcome& clean, const Outcome& outcome)> failure;
  std::vector<std::string> families;  // families the clean run must call
};

std::size_t OpenDescriptors() {
  std::size_t count = 0;
  if (DIR* const dir = ::opendir("/proc/self/fd")) {
    while (::readdir(dir) != nullptr) ++count;
    ::closedir(dir);
  }
  return count;
}

// Names in `dir` that the temporaries' glob matches.
std::string Temporaries(const std::string& dir) {
  std::string names;
  for (const std::string& name : SortedEntries(dir)) {
    if (MatchesTemporaryGlob(name)) names += name + " ";
  }
  return names;
}

// Seven fields, the name third from the end.
std::string RecordLine(int i) {
  return "1," + std::to_string(i) + "," + std::to_string(i * 4096) + ",4096,/archive/dir-" +
         std::to_string(i % 7) + "/file-" + std::to_string(i) + ".dat,1,";
}

class FaultSweep : public CollectTest {
 protected:
  FaultSweep() { standin::ResetIndexService(); }

  std::string InputList() const { return m_dir.File("input.lst"); }

  // A collect file of `count` records, with an empty line and a short
  // record among them, which the reader skips.
  static std::string CollectBytes(int count) {
    std::string bytes;
    for (int i = 0; i < count; ++i) {
      bytes += RecordLine(i) + "\n";
      if (i == count / 3) bytes += "\n";
      if (i == count / 2) bytes += "1,2,3\n";
    }
    return bytes;
  }

  // Runs `operation` once under the plan that `arm` starts.
  Outcome RunUnder(const Operation& operation, const std::function<void()>& arm,
                   const std::string& context, bool* fired = nullptr) {
    operation.prepare();
    const std::size_t descriptors = OpenDescriptors();
    arm();
    Outcome outcome = operation.run();
    const bool injected = m_faults.Stop();
    if (fired != nullptr) *fired = injected;
    outcome.data = operation.gather();
    EXPECT_EQ(descriptors, OpenDescriptors()) << "descriptor left open: " << context;
    EXPECT_EQ(m_planted, Temporaries(m_temporaryDir)) << "temporary left: " << context;
    return outcome;
  }

  // Fails each call of every family in turn with every errno, then
  // interrupts every second call.
  void Sweep(const Operation& operation) {
    ASSERT_TRUE(m_faults.loaded()) << "run with LD_PRELOAD naming libvscr_faults.so";
    const auto countOnly = [this] { m_faults.CountOnly(); };
    RunUnder(operation, countOnly, "warm-up");  // one-time calls of the C library
    const Outcome clean = RunUnder(operation, countOnly, "clean run");
    ASSERT_TRUE(clean.ok) << Describe(clean);
    std::map<std::string, unsigned long> calls;
    for (const char* family : kFamilies) calls[family] = m_faults.Calls(family);
    for (const std::string& family : operation.families) {
      EXPECT_GT(calls[family], 0u) << family << " is never called: the sweep would miss it";
    }
    for (const char* family : kFamilies) {
      for (unsigned long nth = 1; nth <= calls[family]; ++nth) {
        for (const int error : kErrors) {
          const std::string context = std::string(family) + " call " + std::to_string(nth) +
                                      " fails with " + std::strerror(error);
          bool fired = false;
          const Outcome outcome = RunUnder(
              operation, [&] { m_faults.FailNth(family, nth, error); }, context, &fired);
          EXPECT_TRUE(fired) << "not injected: " << context;
          if (outcome == clean) continue;
          EXPECT_TRUE(operation.failure(clean, outcome)) << context << ": " << Describe(outcome);
        }
      }
    }
    const Outcome interrupted = RunUnder(
        operation, [this] { m_faults.InterruptEverySecondCall(); }, "every second call interrupted");
    EXPECT_TRUE(clean == interrupted) << "interrupted: " << Describe(interrupted)
                                      << "; clean: " << Describe(clean);
    unsigned long cleanCalls = 0, interruptedCalls = 0;
    for (const char* family : kFamilies) {
      cleanCalls += calls[family];
      interruptedCalls += m_faults.Calls(family);
    }
    EXPECT_GT(interruptedCalls, cleanCalls) << "no interrupted call was tried again";
  }

  Faults m_faults;
  std::unique_ptr<VivodStubCollectReader> m_reader;
  // Where the operations may leave no temporary but those planted.
  std::string m_temporaryDir = m_dir.path();
  std::string m_planted;
};

// Whether `outcome` of Initialize, which differs from the clean run's, is
// the whole file with the note of a file that could not be counted, or a
// told failure that leaves no collect file or, once renamed, the whole one.
::testing::AssertionResult IsToldInitializeFailure(const Outcome& clean, const Outcome& outcome,
                                                   const std::string& collectPath) {
  const std::string publishFailed = "Failed to publish collect file " + collectPath;
  if (outcome.ok && outcome.data == clean.data &&
      outcome.message == "FetchIndexInfo returned emtpy file.") {
    return ::testing::AssertionSuccess();
  }
  if (outcome.ok) return ::testing::AssertionFailure() << "succeeded with other data";
  if (!OneOf(outcome.message, {"FetchIndexInfo failed to lookup in Indexing.", publishFailed,
                               "Input file is empty or not present."})) {
    return ::testing::AssertionFailure() << "unexpected message";
  }
  // Only a failed sync of its directory leaves the renamed file, whole.
  if (outcome.data != kNoFile && (outcome.data != clean.data || outcome.message != publishFailed)) {
    return ::testing::AssertionFailure() << "left a collect file";
  }
  return ::testing::AssertionSuccess();
}

// The path of the first temporary that Initialize with `args` picks once
// getrandom answers from `firstByte` on.
std::string FirstTemporaryName(Faults& faults, const VivodStubCollectReaderInitArgs& args,
                               const std::string& input, int firstByte) {
  standin::ResetIndexService();
  faults.FixRandom(firstByte);
  VivodStubCollectReader reader(args);
  EXPECT_TRUE(reader.Initialize(input)) << reader.m_lastError;
  faults.FixRandom(-1);
  for (const standin::IndexCall& call : standin::IndexJournal()) {
    if (call.name == "lookup") return call.args.at(1);
  }
  return std::string();
}

TEST_F(FaultSweep, InitializeGivesTheWholeCollectFileOrAFailureAndNoPartialFile) {
  ASSERT_TRUE(m_faults.loaded()) << "run with LD_PRELOAD naming libvscr_faults.so";
  std::string list;
  ASSERT_EQ(0, ::mkdir(m_dir.File("archived").c_str(), 0755));
  for (int i = 0; i < 40; ++i) {
    const std::string path = m_dir.File("archived/file-" + std::to_string(i));
    WriteFile(path, std::string(static_cast<std::size_t>(i) * 13, 'x'));
    list += path + "\n";
  }
  WriteFile(InputList(), list);
  ASSERT_EQ(0, ::mkdir(m_dir.File("sub").c_str(), 0755));
  const std::string victim = m_dir.File("victim");

  // The plain name; and the longest name, in a folder below the work dir,
  // where a dangling symbolic link takes the first random name.
  for (const std::string& prefix : {std::string("stubs"), "sub/" + std::string(248, 'p')}) {
    VivodStubCollectReaderInitArgs args = Args();
    args.collectFilePrefix = prefix;
    const std::string collectPath = m_dir.File(prefix + "_42.lmf");
    const bool planting = prefix != "stubs";
    SCOPED_TRACE(collectPath);
    m_temporaryDir = collectPath.substr(0, collectPath.rfind('/'));
    if (planting) {
      const std::string taken = FirstTemporaryName(m_faults, args, InputList(), 0x30);
      ASSERT_EQ(0, std::remove(collectPath.c_str()));
      ASSERT_EQ(0, ::symlink(victim.c_str(), taken.c_str()));
      m_planted = taken.substr(taken.rfind('/') + 1) + " ";
    }

    Operation initialize;
    initialize.families = {"open", "read", "write", "close", "fsync", "rename", "stat", "random"};
    initialize.prepare = [&] {
      std::remove(collectPath.c_str());
      standin::ResetIndexService();
      if (planting) m_faults.FixRandom(0x30);
    };
    initialize.run = [&] {
      VivodStubCollectReader reader(args);
      Outcome outcome;
      outcome.ok = reader.Initialize(InputList());
      outcome.message = reader.m_lastError;
      return outcome;
    };
    initialize.gather = [&] { return FileExists(collectPath) ? ReadFile(collectPath) : kNoFile; };
    initialize.failure = [&](const Outcome& clean, const Outcome& outcome) {
      return IsToldInitializeFailure(clean, outcome, collectPath);
    };
    Sweep(initialize);
  }
  EXPECT_FALSE(FileExists(victim)) << "written through the planted link";
}

std::string RealPath(const std::string& path) {
  char resolved[PATH_MAX];
  return ::realpath(path.c_str(), resolved) != nullptr ? resolved : path;
}

// The temporary that the last lookup was asked to write; empty for none.
std::string LookupTemporary() {
  std::string temporary;
  for (const standin::IndexCall& call : standin::IndexJournal()) {
    if (call.name == "lookup") temporary = call.args.at(1);
  }
  return temporary;
}

// `temporary` with its random part made of the byte `byte`, as getrandom
// answers once the fault library fixes it.
std::string WithRandomByte(const std::string& temporary, int byte) {
  char hex[3];
  std::snprintf(hex, sizeof hex, "%02x", byte);
  std::string random;
  for (int i = 0; i < 8; ++i) random += hex;
  return temporary.substr(0, temporary.size() - 24) + random + ".lmf.tmp";
}

// The 1-based position of `line` among the lines of `trace` that begin as
// it does, up to its first word; 0 when it is not there.
unsigned long NthOfItsFamily(const std::vector<std::string>& trace, const std::string& line) {
  const std::string family = line.substr(0, line.find(' ') + 1);
  unsigned long nth = 0;
  for (const std::string& traced : trace) {
    if (traced.compare(0, family.size(), family) != 0) continue;
    ++nth;
    if (traced == line) return nth;
  }
  return 0;
}

// The fsyncs and renames that Initialize with `args` makes when it has a
// collect file looked up, in order; the temporary's path goes to `temporary`.
std::vector<std::string> TracePublishing(Faults& faults, const VivodStubCollectReaderInitArgs& args,
                                         const std::string& input, std::string* temporary) {
  standin::ResetIndexService();
  faults.CountOnly();
  VivodStubCollectReader reader(args);
  EXPECT_TRUE(reader.Initialize(input)) << reader.m_lastError;
  faults.Stop();
  *temporary = LookupTemporary();
  std::vector<std::string> durable;
  for (const std::string& line : faults.Trace()) {
    if (line.compare(0, 5, "open ") != 0) durable.push_back(line);
  }
  return durable;
}

// Without the temporary's fsync a crash could leave the collect file's
// name on a partial file; without the directory's, lose the rename.
TEST_F(FaultSweep, PublishingSyncsTheTemporaryThenRenamesItThenSyncsItsDirectory) {
  ASSERT_TRUE(m_faults.loaded()) << "run with LD_PRELOAD naming libvscr_faults.so";
  WriteFile(InputList(), "/etc/passwd\n/etc/group\n");
  std::string temporary;
  const std::vector<std::string> durable = TracePublishing(m_faults, Args(), InputList(), &temporary);
  ASSERT_TRUE(IsTemporaryOf(CollectPath(), temporary, ::getpid()));
  const std::string dir = RealPath(m_dir.path());
  EXPECT_EQ((std::vector<std::string>{"fsync " + dir + temporary.substr(temporary.rfind('/')),
                                      "rename " + temporary + " " + CollectPath(), "fsync " + dir}),
            durable);
}

TEST_F(FaultSweep, PrefixWithAFolderSyncsTheFolderThatHoldsTheCollectFile) {
  ASSERT_TRUE(m_faults.loaded()) << "run with LD_PRELOAD naming libvscr_faults.so";
  WriteFile(InputList(), "/etc/passwd\n");
  ASSERT_EQ(0, ::mkdir(m_dir.File("sub").c_str(), 0755));
  VivodStubCollectReaderInitArgs args = Args();
  args.collectFilePrefix = "sub/c";
  std::string temporary;
  const std::vector<std::string> durable = TracePublishing(m_faults, args, InputList(), &temporary);
  const std::string collectPath = m_dir.File("sub/c_42.lmf");
  ASSERT_TRUE(IsTemporaryOf(collectPath, temporary, ::getpid()));
  const std::string sub = RealPath(m_dir.File("sub"));
  EXPECT_EQ((std::vector<std::string>{"fsync " + sub + temporary.substr(temporary.rfind('/')),
                                      "rename " + temporary + " " + collectPath, "fsync " + sub}),
            durable);
}

TEST_F(FaultSweep, NamesAlreadyTakenAreLeftUntouchedAndTheWalkIsWhole) {
  ASSERT_TRUE(m_faults.loaded()) << "run with LD_PRELOAD naming libvscr_faults.so";
  std::string list;
  for (int i = 0; i < 30; ++i) list += "/archive/file-" + std::to_string(i) + "\n";
  WriteFile(InputList(), list);
  const std::string victim = m_dir.File("victim");
  // What a dead job of the same pid left, and a link planted by someone who
  // can write to the work dir, at the first two names the reader picks.
  const std::string first = FirstTemporaryName(m_faults, Args(), InputList(), 0x40);
  ASSERT_EQ(0, std::remove(CollectPath().c_str()));
  WriteFile(first, "someone else's\n");
  ASSERT_EQ(0, ::symlink(victim.c_str(), WithRandomByte(first, 0x41).c_str()));

  standin::ResetIndexService();
  m_faults.FixRandom(0x40);
  VivodStubCollectReader reader(Args());
  ASSERT_TRUE(reader.Initialize(InputList())) << reader.m_lastError;
  EXPECT_EQ(WithRandomByte(first, 0x42), LookupTemporary());
  ASSERT_TRUE(reader.Open());
  const std::vector<Item> items = ReadAll(reader);
  ASSERT_EQ(31u, items.size());
  for (int i = 0; i < 30; ++i) EXPECT_EQ("/archive/file-" + std::to_string(i), items[i].fileName);
  EXPECT_EQ("someone else's\n", ReadFile(first));
  char target[PATH_MAX] = {};
  EXPECT_LT(0, ::readlink(WithRandomByte(first, 0x41).c_str(), target, sizeof target - 1));
  EXPECT_EQ(victim, target);
  EXPECT_FALSE(FileExists(victim));

  // Sixteen names taken: no lookup, and a told failure. Fifteen: the
  // sixteenth name is used.
  for (int byte = 0x50; byte < 0x60; ++byte) WriteFile(WithRandomByte(first, byte), "taken\n");
  for (const bool lastTaken : {true, false}) {
    ASSERT_EQ(0, std::remove(CollectPath().c_str()));
    if (!lastTaken) {
      ASSERT_EQ(0, std::remove(WithRandomByte(first, 0x5f).c_str()));
    }
    standin::ResetIndexService();
    m_faults.FixRandom(0x50);
    VivodStubCollectReader later(Args());
    EXPECT_EQ(!lastTaken, later.Initialize(InputList()));
    EXPECT_EQ(lastTaken ? std::string() : WithRandomByte(first, 0x5f), LookupTemporary());
    EXPECT_EQ(lastTaken ? "Failed to publish collect file " + CollectPath() : std::string(),
              later.m_lastError);
    EXPECT_EQ(!lastTaken, FileExists(CollectPath()));
    for (int byte = 0x50; byte < 0x5f; ++byte) EXPECT_EQ("taken\n", ReadFile(WithRandomByte(first, byte)));
    if (lastTaken) WriteFile(CollectPath(), "");  // for the next round to remove
  }
  m_faults.FixRandom(-1);
}

// Once renamed, the collect file is complete: no failure to make the
// rename durable removes it, and a drop-box directory, which may not be
// read, is no failure at all.
TEST_F(FaultSweep, CompleteFileStaysWhenItsDirectoryCannotBeSynced) {
  ASSERT_TRUE(m_faults.loaded()) << "run with LD_PRELOAD naming libvscr_faults.so";
  WriteFile(InputList(), "/etc/passwd\n/etc/group\n");
  std::string temporary;
  TracePublishing(m_faults, Args(), InputList(), &temporary);
  const std::vector<std::string> trace = m_faults.Trace();
  const unsigned long dirOpen = NthOfItsFamily(trace, "open " + m_dir.path());
  const unsigned long dirSync = NthOfItsFamily(trace, "fsync " + RealPath(m_dir.path()));
  ASSERT_GT(dirOpen, 0u);
  ASSERT_GT(dirSync, 0u);
  const std::string whole = ReadFile(CollectPath());
  ASSERT_EQ(2, std::count(whole.begin(), whole.end(), '\n'));

  struct Case {
    const char* family;
    unsigned long nth;
    int error;
    bool published;
  };
  for (const Case& c : {Case{"fsync", dirSync, EIO, false}, Case{"open", dirOpen, EIO, false},
                        Case{"open", dirOpen, EACCES, true}, Case{"open", dirOpen, EPERM, true}}) {
    SCOPED_TRACE(std::string(c.family) + " " + std::strerror(c.error));
    ASSERT_EQ(0, std::remove(CollectPath().c_str()));
    standin::ResetIndexService();
    VivodStubCollectReader reader(Args());
    reader.m_lastError = "earlier";
    m_faults.FailNth(c.family, c.nth, c.error);
    const bool initialized = reader.Initialize(InputList());
    EXPECT_TRUE(m_faults.Stop());
    EXPECT_EQ(c.published, initialized);
    EXPECT_EQ(c.published ? "earlier" : "Failed to publish collect file " + CollectPath(),
              reader.m_lastError);
    EXPECT_EQ(whole, ReadFile(CollectPath()));
    EXPECT_EQ("", Temporaries(m_dir.path()));
    // A later job reuses the file as it stands.
    standin::ResetIndexService();
    VivodStubCollectReader later(Args());
    EXPECT_TRUE(later.Initialize(InputList()));
    EXPECT_TRUE(standin::IndexJournal().empty());
  }
}

// getrandom may be missing or refused (an old kernel, a seccomp filter);
// /dev/urandom serves then. Without either, no name is made up.
TEST_F(FaultSweep, TemporaryNameComesFromTheKernelsRandomBytesOrNotAtAll) {
  ASSERT_TRUE(m_faults.loaded()) << "run with LD_PRELOAD naming libvscr_faults.so";
  WriteFile(InputList(), "/etc/passwd\n");
  m_faults.FailNth("random", 1, ENOSYS);
  VivodStubCollectReader reader(Args());
  EXPECT_TRUE(reader.Initialize(InputList())) << reader.m_lastError;
  EXPECT_TRUE(m_faults.Stop());
  const std::vector<std::string> trace = m_faults.Trace();
  const unsigned long deviceOpen = NthOfItsFamily(trace, "open /dev/urandom");
  EXPECT_GT(deviceOpen, 0u);
  EXPECT_TRUE(IsTemporaryOf(CollectPath(), LookupTemporary(), ::getpid()));

  // The device cannot be opened, or read (its read is the first of the
  // call: nothing is read before the lookup).
  for (const auto& [family, nth] : {std::pair<const char*, unsigned long>{"open", deviceOpen}, {"read", 1}}) {
    SCOPED_TRACE(family);
    ASSERT_EQ(0, std::remove(CollectPath().c_str()));
    standin::ResetIndexService();
    m_faults.FailNth("random", 1, ENOSYS);
    m_faults.AlsoFailNth(family, nth, EIO);
    VivodStubCollectReader refused(Args());
    EXPECT_FALSE(refused.Initialize(InputList()));
    EXPECT_TRUE(m_faults.Stop());
    EXPECT_EQ("Failed to publish collect file " + CollectPath(), refused.m_lastError);
    EXPECT_EQ("", LookupTemporary());
    EXPECT_EQ(std::vector<std::string>{"input.lst"}, SortedEntries(m_dir.path()));
    WriteFile(CollectPath(), "");  // for the next round to remove
  }
}

TEST_F(FaultSweep, WalkWithSeeksTellsEveryFailureBeforeAnyEnd) {
  WriteFile(CollectPath(), CollectBytes(300));  // several stream buffers
  WriteFile(InputList(), "/etc/passwd\n");
  const std::string path = CollectPath();
  const std::vector<std::string> failures = {
      "Open false Failed to open collect file " + path,
      "GetItem -1 Failed to read collect file " + path,
      "SetSeekOffset false Seek failed.",
      "GetSeekOffset false Read offset not available.",
  };

  Operation walk;
  walk.families = {"open", "read", "close", "lseek", "stat"};
  walk.prepare = [&] {
    m_reader = std::make_unique<VivodStubCollectReader>(Args());
    ASSERT_TRUE(m_reader->Initialize(InputList())) << m_reader->m_lastError;
  };
  walk.run = [&] {
    Outcome outcome;
    outcome.ok = true;
    VivodStubCollectReader& reader = *m_reader;
    std::vector<std::string>& events = outcome.events;
    const auto item = [&] {
      std::string name = "untouched", line = "untouched";
      const int result = reader.GetItem(name, line);
      std::string event = "GetItem " + std::to_string(result);
      if (result == 1) event += " " + name + " " + line;
      if (result == -1) event += " " + reader.m_lastError;
      if (result != 1 && (name != "untouched" || line != "untouched")) event += " wrote";
      events.push_back(event);
      return result;
    };
    const auto seek = [&](uint64_t offset) {
      const bool moved = reader.SetSeekOffset(offset);
      events.push_back(moved ? "SetSeekOffset true" : "SetSeekOffset false " + reader.m_lastError);
    };
    if (reader.Open()) {
      events.push_back("Open true");
      for (int i = 0; i < 3; ++i) item();
      uint64_t saved = 0;
      if (!reader.GetSeekOffset(saved)) {  // a host has nowhere to come back to
        events.push_back("GetSeekOffset false " + reader.m_lastError);
        m_reader.reset();
        return outcome;
      }
      events.push_back("GetSeekOffset " + std::to_string(saved));
      for (int i = 0; i < 5; ++i) item();
      seek(0);
      for (int i = 0; i < 2; ++i) item();
      seek(saved);
      for (int i = 0; i < 1000 && item() != 0; ++i) {
      }
    } else {
      events.push_back("Open false " + reader.m_lastError);
    }
    m_reader.reset();
    return outcome;
  };
  walk.gather = [] { return std::string(); };
  // The first difference from a clean walk is a told failure, and after it
  // comes nothing but failures and the end.
  walk.failure = [&](const Outcome& clean, const Outcome& outcome) -> ::testing::AssertionResult {
    std::size_t first = 0;
    while (first < outcome.events.size() && first < clean.events.size() &&
           outcome.events[first] == clean.events[first]) {
      ++first;
    }
    if (first == outcome.events.size()) return ::testing::AssertionFailure() << "walk cut short";
    if (!OneOf(outcome.events[first], failures)) {
      return ::testing::AssertionFailure()
             << "event " << first << " is '" << outcome.events[first] << "' where a clean walk has '"
             << (first < clean.events.size() ? clean.events[first] : "nothing") << "'";
    }
    for (std::size_t i = first + 1; i < outcome.events.size(); ++i) {
      if (outcome.events[i] != "GetItem 0" && !OneOf(outcome.events[i], failures)) {
        return ::testing::AssertionFailure() << "after a failure came '" << outcome.events[i] << "'";
      }
    }
    return ::testing::AssertionSuccess();
  };
  Sweep(walk);
}

TEST_F(FaultSweep, CountLinesGivesTheCountOrZero) {
  WriteFile(CollectPath(), CollectBytes(4000));  // several blocks
  Operation count;
  count.families = {"open", "read", "close"};
  count.prepare = [] {};
  count.run = [&] {
    VivodStubCollectReader reader(Args());
    const unsigned long lines = reader.CountLines(CollectPath().c_str());
    Outcome outcome;
    outcome.ok = lines > 0;
    outcome.message = reader.m_lastError;
    outcome.events.push_back(std::to_string(lines));
    return outcome;
  };
  count.gather = [] { return std::string(); };
  count.failure = [](const Outcome& clean, const Outcome& outcome) -> ::testing::AssertionResult {
    if (outcome.events != std::vector<std::string>{"0"}) {
      return ::testing::AssertionFailure() << "counted " << outcome.events.front() << " lines";
    }
    if (outcome.message != clean.message) return ::testing::AssertionFailure() << "set a message";
    return ::testing::AssertionSuccess();
  };
  Sweep(count);
}

TEST_F(FaultSweep, ConversionWritesEveryPathOrTellsWhatFailed) {
  std::string stubs;
  for (int i = 0; i < 2500; ++i) {
    stubs += "stub|/archive/dir-" + std::to_string(i % 9) + "/file-" + std::to_string(i) +
             ".dat:" + std::to_string(i) + "\n";
  }
  const std::string input = m_dir.File("stubs.txt");
  const std::string output = m_dir.File("paths.txt");
  WriteFile(input, stubs);

  Operation convert;
  convert.families = {"open", "read", "write", "close", "stat"};
  convert.prepare = [&] { std::remove(output.c_str()); };
  convert.run = [&] {
    VivodStubCollectReader reader{VivodStubCollectReaderInitArgs()};
    standin::StartDebugCapture();
    Outcome outcome;
    outcome.ok = reader.ProcessStubCollectFile(input, output, '|');
    for (const standin::DebugEvent& event : standin::StopDebugCapture()) {
      outcome.events.push_back(event.kind + " " + event.message);
    }
    outcome.message = reader.m_lastError;
    return outcome;
  };
  convert.gather = [&] { return FileExists(output) ? ReadFile(output) : kNoFile; };
  convert.failure = [&](const Outcome&, const Outcome& outcome) -> ::testing::AssertionResult {
    if (outcome.ok) return ::testing::AssertionFailure() << "succeeded with other data";
    if (!OneOf(outcome.message, {"Failed to open input file [" + input + "].",
                                 "Failed to open output file [" + output + "].",
                                 "Failed to read input file [" + input + "].",
                                 "Failed to write output file [" + output + "]."})) {
      return ::testing::AssertionFailure() << "unexpected message";
    }
    return ::testing::AssertionSuccess();
  };
  Sweep(convert);
}

// A read error in the middle of a collect file is told once, and only then
// does the walk end; the message stays for the host to find after its loop.
TEST_F(FaultSweep, ReadErrorMidWalkIsToldThenTheEnd) {
  ASSERT_TRUE(m_faults.loaded()) << "run with LD_PRELOAD naming libvscr_faults.so";
  constexpr int kRecords = 2000;
  std::string bytes;
  for (int i = 0; i < kRecords; ++i) bytes += RecordLine(i) + "\n";
  WriteFile(CollectPath(), bytes);
  WriteFile(InputList(), "/etc/passwd\n");
  VivodStubCollectReader reader(Args());
  ASSERT_TRUE(reader.Initialize(InputList()));
  ASSERT_TRUE(reader.Open());

  m_faults.FailNth("read", 4, EIO);
  int delivered = 0;
  std::string name, line;
  int result;
  while ((result = reader.GetItem(name, line)) == 1) {
    EXPECT_EQ(RecordLine(delivered), line);
    ++delivered;
    name = "untouched";
    line = "untouched";
  }
  std::string after[2] = {"untouched", "untouched"};
  const int next = reader.GetItem(after[0], after[1]);
  const int last = reader.GetItem(after[0], after[1]);
  EXPECT_TRUE(m_faults.Stop());

  const std::string message = "Failed to read collect file " + CollectPath();
  EXPECT_EQ(-1, result);
  EXPECT_EQ("untouched", name);
  EXPECT_EQ("untouched", line);
  EXPECT_GT(delivered, 0);
  EXPECT_LT(delivered, kRecords);
  EXPECT_EQ(0, next);
  EXPECT_EQ(0, last);
  EXPECT_EQ("untouched", after[0]);
  EXPECT_EQ("untouched", after[1]);
  EXPECT_EQ(message, reader.m_lastError);
}

// A bad spot on the storage in the middle of one range of a cut: reading
// it fails however often it is tried. The range that holds it tells the
// read error after the records before the spot; every other range gives
// what it gives on sound storage, and never reads the spot.
TEST_F(FaultSweep, ReadErrorInsideARangeIsToldByThatRangeAlone) {
  ASSERT_TRUE(m_faults.loaded()) << "run with LD_PRELOAD naming libvscr_faults.so";
  // Ranges of some 35 KB, several times what one read takes in.
  const std::string bytes = CollectBytes(3000);
  WriteFile(CollectPath(), bytes);
  WriteFile(InputList(), "/etc/passwd\n");
  constexpr int kRanges = 4;
  const auto cut = [&](int i) { return uint64_t{bytes.size()} * i / kRanges; };
  const uint64_t spot = (cut(1) + cut(2)) / 2;
  // One reader per range, as one worker each; the spot is put there after
  // Initialize, which reads the whole file to count its lines.
  const auto walk = [&](int i, bool damaged, bool* fired) {
    VivodStubCollectReader reader(Args());
    EXPECT_TRUE(reader.Initialize(InputList()) && reader.Open()) << reader.m_lastError;
    if (damaged) {
      m_faults.FailReadsAt(spot, EIO);
    } else {
      m_faults.CountOnly();
    }
    const RangeResults range = WalkRange(reader, cut(i), cut(i + 1));
    *fired = m_faults.Stop();
    return range;
  };
  for (int i = 0; i < kRanges; ++i) {
    SCOPED_TRACE("range " + std::to_string(i));
    bool fired = false;
    const RangeResults sound = walk(i, false, &fired);
    ASSERT_EQ("", sound.error);
    ASSERT_GT(sound.results.size(), 100u);
    const RangeResults damaged = walk(i, true, &fired);
    if (i != 1) {
      EXPECT_FALSE(fired);
      EXPECT_EQ("", damaged.error);
      EXPECT_TRUE(damaged.results == sound.results);
      continue;
    }
    EXPECT_TRUE(fired);
    EXPECT_EQ("Failed to read collect file " + CollectPath(), damaged.error);
    // What came before the spot, and nothing after it.
    EXPECT_GT(damaged.results.size(), 0u);
    ASSERT_LT(damaged.results.size(), sound.results.size());
    EXPECT_TRUE(std::equal(damaged.results.begin(), damaged.results.end(), sound.results.begin()));
  }
}

// Were a failed stat taken for "a different file", converting a file onto
// itself would cut the input to nothing and report success.
TEST_F(FaultSweep, ConversionOntoItsOwnInputIsRefusedWhicheverStatFails) {
  ASSERT_TRUE(m_faults.loaded()) << "run with LD_PRELOAD naming libvscr_faults.so";
  const std::string input = m_dir.File("stubs.txt");
  const std::string stubs = "a|/first:1\nb|/second:2\n";
  WriteFile(input, stubs);
  ASSERT_EQ(0, ::symlink(input.c_str(), m_dir.File("link.txt").c_str()));
  VivodStubCollectReader reader{VivodStubCollectReaderInitArgs()};
  for (const std::string& output : {input, m_dir.File("link.txt")}) {
    m_faults.CountOnly();
    EXPECT_FALSE(reader.ProcessStubCollectFile(input, output, '|'));
    const unsigned long stats = m_faults.Calls("stat");
    m_faults.Stop();
    EXPECT_EQ("Input and output are the same file [" + input + "].", reader.m_lastError);
    ASSERT_GT(stats, 1u);
    for (unsigned long nth = 1; nth <= stats; ++nth) {
      for (const int error : kErrors) {
        m_faults.FailNth("stat", nth, error);
        EXPECT_FALSE(reader.ProcessStubCollectFile(input, output, '|'));
        EXPECT_TRUE(m_faults.Stop());
        EXPECT_TRUE(OneOf(reader.m_lastError, {"Input and output are the same file [" + input + "].",
                                               "Failed to open output file [" + output + "]."}))
            << reader.m_lastError;
        EXPECT_EQ(stubs, ReadFile(input)) << "stat call " << nth << " failing with " << error;
      }
    }
  }
}

// What one GetItem call gave.
struct Got {
  int result;
  std::string name;
  std::string message;
};

Got GetOne(VivodStubCollectReader& reader) {
  std::string name = "untouched", line = "untouched";
  const int result = reader.GetItem(name, line);
  return {result, name, reader.m_lastError};
}

constexpr std::size_t kOverlong = std::size_t{20} << 20;  // past the 16 MiB a line may hold

// A line too long to hold is read past in many reads; one of them failing
// is a read error like any other, not the line's own complaint.
TEST_F(FaultSweep, OverlongLineIsPassedOverAndAReadErrorInsideItIsTold) {
  ASSERT_TRUE(m_faults.loaded()) << "run with LD_PRELOAD naming libvscr_faults.so";
  WriteFile(CollectPath(),
            RecordLine(0) + "\n" + std::string(kOverlong, 'z') + "\n" + RecordLine(1) + "\n");
  WriteFile(InputList(), "/etc/passwd\n");
  unsigned long readsBefore = 0;
  unsigned long readsAfter = 0;
  {
    VivodStubCollectReader reader(Args());
    ASSERT_TRUE(reader.Initialize(InputList()) && reader.Open()) << reader.m_lastError;
    m_faults.CountOnly();
    EXPECT_EQ(1, GetOne(reader).result);
    readsBefore = m_faults.Calls("read");
    const Got overlong = GetOne(reader);
    readsAfter = m_faults.Calls("read");
    const Got next = GetOne(reader);
    const Got end = GetOne(reader);
    m_faults.Stop();
    EXPECT_EQ(-1, overlong.result);
    EXPECT_EQ("Collect file line longer than " + std::to_string(vscr::kMaxLineLength) +
                  " bytes in stubs_42.lmf",
              overlong.message);
    EXPECT_EQ("untouched", overlong.name);
    EXPECT_EQ(1, next.result);
    EXPECT_EQ("/archive/dir-1/file-1.dat", next.name);
    EXPECT_EQ(0, end.result);
  }
  ASSERT_GT(readsAfter - readsBefore, 100u);

  VivodStubCollectReader reader(Args());
  ASSERT_TRUE(reader.Initialize(InputList()) && reader.Open()) << reader.m_lastError;
  m_faults.FailNth("read", readsAfter - 1, EIO);  // in the part that is read past
  EXPECT_EQ(1, GetOne(reader).result);
  const Got failed = GetOne(reader);
  const Got end = GetOne(reader);
  EXPECT_TRUE(m_faults.Stop());
  EXPECT_EQ(-1, failed.result);
  EXPECT_EQ("Failed to read collect file " + CollectPath(), failed.message);
  EXPECT_EQ(0, end.result);
  EXPECT_EQ("Failed to read collect file " + CollectPath(), end.message);
}

TEST_F(FaultSweep, OverlongStubLinesAreSkippedAndAReadErrorAmongThemIsTold) {
  ASSERT_TRUE(m_faults.loaded()) << "run with LD_PRELOAD naming libvscr_faults.so";
  const std::string input = m_dir.File("stubs.txt");
  const std::string output = m_dir.File("paths.txt");
  // The last line, as long and without a line feed, ends the file unread.
  WriteFile(input, "a|/first:1\n" "b|" + std::string(kOverlong, 'z') + ":2\n" "c|/second:3\n" "d|" +
                       std::string(kOverlong, 'y') + ":4");
  VivodStubCollectReader reader{VivodStubCollectReaderInitArgs()};
  standin::StartDebugCapture();
  m_faults.CountOnly();
  EXPECT_TRUE(reader.ProcessStubCollectFile(input, output, '|')) << reader.m_lastError;
  const unsigned long reads = m_faults.Calls("read");
  m_faults.Stop();
  std::size_t logged = 0;
  for (const standin::DebugEvent& event : standin::StopDebugCapture()) logged += event.kind == "line";
  EXPECT_EQ("/first\n/second\n", ReadFile(output));
  EXPECT_EQ(2u, logged);

  ASSERT_GT(reads, 4u);
  standin::StartDebugCapture();
  m_faults.FailNth("read", reads / 2, EIO);
  EXPECT_FALSE(reader.ProcessStubCollectFile(input, output, '|'));
  EXPECT_TRUE(m_faults.Stop());
  standin::StopDebugCapture();
  EXPECT_EQ("Failed to read input file [" + input + "].", reader.m_lastError);
}

volatile sig_atomic_t g_alarms = 0;
void CountAlarm(int) { g_alarms = g_alarms + 1; }

// A collect file that is a FIFO makes Open wait for its writer; signals
// arriving meanwhile (here SIGALRM, without SA_RESTART) interrupt the wait
// but must not fail the open.
TEST(InterruptedOpen, OpenOfAFifoOutlastsSignalsUntilAWriterComes) {
  TempDir dir;
  VivodStubCollectReaderInitArgs args;
  args.collectFileNumber = 7;
  args.workDir = dir.path();
  args.collectFilePrefix = "fifo";
  args.jobId = "job-1";
  const std::string path = dir.File("fifo_7.lmf");
  ASSERT_EQ(0, ::mkfifo(path.c_str(), 0600));
  WriteFile(dir.File("input.lst"), "/etc/passwd\n");
  VivodStubCollectReader reader(args);
  ASSERT_TRUE(reader.Initialize(dir.File("input.lst")));  // the FIFO is there: reused

  const std::string records = RecordLine(1) + "\n" + RecordLine(2) + "\n";
  struct sigaction alarm {};
  struct sigaction previous {};
  alarm.sa_handler = CountAlarm;
  sigemptyset(&alarm.sa_mask);
  alarm.sa_flags = 0;  // no SA_RESTART: a waiting open returns EINTR
  ASSERT_EQ(0, ::sigaction(SIGALRM, &alarm, &previous));
  const pid_t writer = ::fork();
  ASSERT_GE(writer, 0);
  if (writer == 0) {
    // Comes late, and gives up after 5 s should the reader never open.
    ::usleep(200 * 1000);
    int fd = -1;
    for (int tries = 0; fd < 0 && tries < 5000; ++tries) {
      fd = ::open(path.c_str(), O_WRONLY | O_NONBLOCK);
      if (fd < 0) ::usleep(1000);
    }
    if (fd < 0) ::_exit(1);
    ::fcntl(fd, F_SETFL, 0);
    const bool written = ::write(fd, records.data(), records.size()) ==
                         static_cast<ssize_t>(records.size());
    ::_exit(written && ::close(fd) == 0 ? 0 : 2);
  }
  g_alarms = 0;
  itimerval every5ms{{0, 5000}, {0, 5000}};
  ::setitimer(ITIMER_REAL, &every5ms, nullptr);
  const bool opened = reader.Open();
  itimerval off{};
  ::setitimer(ITIMER_REAL, &off, nullptr);
  ::sigaction(SIGALRM, &previous, nullptr);
  const int alarms = g_alarms;
  int status = -1;
  ASSERT_EQ(writer, ::waitpid(writer, &status, 0));

  EXPECT_TRUE(opened) << reader.m_lastError;
  EXPECT_GT(alarms, 10) << "the open was hardly interrupted";
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  std::string name, line;
  EXPECT_EQ(1, reader.GetItem(name, line));
  EXPECT_EQ("/archive/dir-1/file-1.dat", name);
  EXPECT_EQ(1, reader.GetItem(name, line));
  EXPECT_EQ(RecordLine(2), line);
  EXPECT_EQ(0, reader.GetItem(name, line));
}

}  // namespace
