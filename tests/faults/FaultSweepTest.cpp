// Every file call that an operation of the reader makes is made to fail in
// turn, with each errno a file system can give, through the preloaded
// fault library. Whatever fails, a host must either get the complete result
// or be told of the failure: never a success with data missing, never the
// end of the records before the last one.
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
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "CollectTestHarness.h"
#include "FaultInjection.h"
#include "LineLimits.h"
#include "TemporaryNames.h"
#include "standins/EvDebugControl.h"
#include "standins/FetchIndexInfoControl.h"

namespace {

const char* const kFamilies[] = {"open",   "read",  "write", "close", "fsync",
                                 "rename", "lseek", "stat",  "random"};
const int kErrors[] = {EIO, ENOSPC, EACCES, EPERM, EINTR};
constexpr char kNoFile[] = "<no file>";

// A control function of the preloaded fault library; null without it.
#define FAULTS(name) \
  reinterpret_cast<vscr_faults_##name##_fn>(::dlsym(RTLD_DEFAULT, "vscr_faults_" #name))

// The control functions of the preloaded fault library.
class Faults {
 public:
  ~Faults() {
    if (loaded()) FixRandom(-1);
  }

  bool loaded() const { return FAULTS(fail_nth) != nullptr; }
  void CountOnly() { FAULTS(fail_nth)(nullptr, 0, 0); }
  void FailNth(const char* family, unsigned long nth, int error) {
    ASSERT_EQ(0, FAULTS(fail_nth)(family, nth, error)) << family;
  }
  void AlsoFailNth(const char* family, unsigned long nth, int error) {
    ASSERT_EQ(0, FAULTS(also_fail_nth)(family, nth, error)) << family;
  }
  void FixRandom(int first) { FAULTS(fix_random)(first); }
  std::vector<std::string> Trace() const { return Lines(FAULTS(trace)()); }
  void InterruptEverySecondCall() { FAULTS(interrupt)(); }
  void FailReadsAt(uint64_t offset, int error) { FAULTS(fail_reads_at)(offset, error); }
  bool Stop() { return FAULTS(stop)() != 0; }
  unsigned long Calls(const char* family) const { return FAULTS(calls)(family); }
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

std::string Summary(const Outcome& outcome) {
  std::string text = std::string(outcome.ok ? "ok" : "failed") + ", message '" +
                     outcome.message + "', " + std::to_string(outcome.events.size()) +
                     " events, " + std::to_string(outcome.data.size()) + " bytes left";
  if (!outcome.events.empty()) text += ", last event '" + outcome.events.back() + "'";
  return text;
}

bool OneOf(const std::string& text, const std::vector<std::string>& choices) {
  return std::find(choices.begin(), choices.end(), text) != choices.end();
}

// One operation of the reader, run again and again in the same surroundings.
struct Operation {
  std::function<void()> prepare = [] {};  // before the plan starts
  std::function<Outcome()> run;           // under the plan: no file calls of the test's own
  // After the plan: what the run left on disk.
  std::function<std::string()> gather = [] { return std::string(); };
  // Whether `outcome`, which differs from the clean run's, is a told failure.
  std::function<::testing::AssertionResult(const Outcome& clean, const Outcome& outcome)> failure;
  std::vector<std::string> families;  // families the clean run must call
};

std::size_t OpenDescriptors() { return SortedEntries("/proc/self/fd").size(); }

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
  void SetUp() override {
    ASSERT_TRUE(m_faults.loaded()) << "run with LD_PRELOAD naming libvscr_faults.so";
  }

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
  // interrupts every second call. The clean run's outcome goes to m_clean.
  void Sweep(const Operation& operation) {
    const auto countOnly = [this] { m_faults.CountOnly(); };
    RunUnder(operation, countOnly, "warm-up");  // one-time calls of the C library
    const Outcome clean = m_clean = RunUnder(operation, countOnly, "clean run");
    ASSERT_TRUE(clean.ok) << Summary(clean);
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
          EXPECT_TRUE(operation.failure(clean, outcome)) << context << ": " << Summary(outcome);
        }
      }
    }
    const Outcome interrupted = RunUnder(
        operation, [this] { m_faults.InterruptEverySecondCall(); }, "every second call interrupted");
    EXPECT_TRUE(clean == interrupted) << "interrupted: " << Summary(interrupted)
                                      << "; clean: " << Summary(clean);
    unsigned long cleanCalls = 0, interruptedCalls = 0;
    for (const char* family : kFamilies) {
      cleanCalls += calls[family];
      interruptedCalls += m_faults.Calls(family);
    }
    EXPECT_GT(interruptedCalls, cleanCalls) << "no interrupted call was tried again";
  }

  // Sweeps Initialize with `prefix` over a list of forty archived files.
  // With `planting`, a dangling symbolic link takes the first random name.
  void SweepInitialize(const std::string& prefix, bool planting);

  Faults m_faults;
  std::unique_ptr<VivodStubCollectReader> m_reader;
  Outcome m_clean;
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
  // A check that fails (whether a name is free, say) never lets the
  // service write anywhere but a temporary of the collect file.
  for (const standin::IndexCall& call : standin::IndexJournal()) {
    if (call.name != "lookup") continue;
    const ::testing::AssertionResult temporary =
        IsTemporaryOf(collectPath, call.args.at(1), ::getpid());
    if (!temporary) return ::testing::AssertionFailure() << "looked up into " << temporary.message();
  }
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

// The temporary that the last lookup was asked to write; empty for none.
std::string LookupTemporary() {
  std::string temporary;
  for (const standin::IndexCall& call : standin::IndexJournal()) {
    if (call.name == "lookup") temporary = call.args.at(1);
  }
  return temporary;
}

// The temporary that Initialize with `args` has a collect file looked up
// into, under a plan that only counts (and traces), once getrandom answers
// from `firstByte` on; -1: the kernel's random bytes.
std::string LookUp(Faults& faults, const VivodStubCollectReaderInitArgs& args,
                   const std::string& input, int firstByte = -1) {
  standin::ResetIndexService();
  faults.FixRandom(firstByte);
  faults.CountOnly();
  VivodStubCollectReader reader(args);
  EXPECT_TRUE(reader.Initialize(input)) << reader.m_lastError;
  faults.Stop();
  faults.FixRandom(-1);
  return LookupTemporary();
}

void FaultSweep::SweepInitialize(const std::string& prefix, bool planting) {
  std::string list;
  ASSERT_EQ(0, ::mkdir(m_dir.File("archived").c_str(), 0755));
  for (int i = 0; i < 40; ++i) {
    const std::string path = m_dir.File("archived/file-" + std::to_string(i));
    WriteFile(path, std::string(static_cast<std::size_t>(i) * 13, 'x'));
    list += path + "\n";
  }
  WriteFile(InputList(), list);
  VivodStubCollectReaderInitArgs args = Args();
  args.collectFilePrefix = prefix;
  const std::string collectPath = m_dir.File(prefix + "_42.lmf");
  m_temporaryDir = collectPath.substr(0, collectPath.rfind('/'));
  if (planting) {
    const std::string taken = LookUp(m_faults, args, InputList(), 0x30);
    ASSERT_EQ(0, std::remove(collectPath.c_str()));
    ASSERT_EQ(0, ::symlink(m_dir.File("victim").c_str(), taken.c_str()));
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

TEST_F(FaultSweep, InitializeGivesTheWholeCollectFileOrAFailureAndNoPartialFile) {
  SweepInitialize("stubs", false);
}

// The longest name, in a folder below the work dir.
TEST_F(FaultSweep, InitializeBesideATakenNameInAFolderLeavesNoPartialFileEither) {
  ASSERT_EQ(0, ::mkdir(m_dir.File("sub").c_str(), 0755));
  SweepInitialize("sub/" + std::string(248, 'p'), true);
  EXPECT_FALSE(FileExists(m_dir.File("victim"))) << "written through the planted link";
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

// Without the temporary's fsync a crash could leave the collect file's
// name on a partial file; without the directory's, lose the rename. The
// directory is the one that holds the collect file, below the work dir
// when the prefix names a folder.
TEST_F(FaultSweep, PublishingSyncsTheTemporaryThenRenamesItThenSyncsItsDirectory) {
  WriteFile(InputList(), "/etc/passwd\n/etc/group\n");
  ASSERT_EQ(0, ::mkdir(m_dir.File("sub").c_str(), 0755));
  for (const std::string folder : {"", "sub/"}) {
    SCOPED_TRACE(folder);
    VivodStubCollectReaderInitArgs args = Args();
    args.collectFilePrefix = folder + "c";
    const std::string temporary = LookUp(m_faults, args, InputList());
    std::vector<std::string> durable;  // the trace but its opens
    for (const std::string& line : m_faults.Trace()) {
      if (line.rfind("open ", 0) != 0) durable.push_back(line);
    }
    const std::string collectPath = m_dir.File(folder + "c_42.lmf");
    ASSERT_TRUE(IsTemporaryOf(collectPath, temporary, ::getpid()));
    const std::string dir = std::filesystem::canonical(m_dir.File(folder)).string();
    EXPECT_EQ((std::vector<std::string>{"fsync " + dir + temporary.substr(temporary.rfind('/')),
                                        "rename " + temporary + " " + collectPath, "fsync " + dir}),
              durable);
  }
}

// What a dead job of the same pid left, and a link planted by someone who
// can write to the work dir, at the first two names the reader picks.
TEST_F(FaultSweep, NamesAlreadyTakenAreLeftUntouchedAndTheWalkIsWhole) {
  std::string list;
  for (int i = 0; i < 30; ++i) list += "/archive/file-" + std::to_string(i) + "\n";
  WriteFile(InputList(), list);
  const std::string victim = m_dir.File("victim");
  const std::string first = LookUp(m_faults, Args(), InputList(), 0x40);
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
}

// Sixteen names taken: no lookup, and a told failure. Fifteen: the
// sixteenth name is used.
TEST_F(FaultSweep, SixteenNamesTakenFailThePublishingAndFifteenDoNot) {
  WriteFile(InputList(), "/archive/file\n");
  const std::string first = LookUp(m_faults, Args(), InputList(), 0x50);
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
// read, is no failure at all. A later job reuses the file as it stands.
TEST_F(FaultSweep, CompleteFileStaysWhenItsDirectoryCannotBeSynced) {
  WriteFile(InputList(), "/etc/passwd\n/etc/group\n");
  LookUp(m_faults, Args(), InputList());
  const std::vector<std::string> trace = m_faults.Trace();
  const unsigned long dirOpen = NthOfItsFamily(trace, "open " + m_dir.path());
  const unsigned long dirSync = NthOfItsFamily(trace, "fsync " + std::filesystem::canonical(m_dir.path()).string());
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
    EXPECT_EQ(c.published, reader.Initialize(InputList()));
    EXPECT_TRUE(m_faults.Stop());
    EXPECT_EQ(c.published ? "earlier" : "Failed to publish collect file " + CollectPath(),
              reader.m_lastError);
    EXPECT_EQ(whole, ReadFile(CollectPath()));
    EXPECT_EQ("", Temporaries(m_dir.path()));
    standin::ResetIndexService();
    EXPECT_TRUE(VivodStubCollectReader(Args()).Initialize(InputList()));
    EXPECT_TRUE(standin::IndexJournal().empty());
  }
}

// getrandom may be missing or refused (an old kernel, a seccomp filter);
// /dev/urandom serves then. Without either, no name is made up.
TEST_F(FaultSweep, TemporaryNameComesFromTheKernelsRandomBytesOrNotAtAll) {
  WriteFile(InputList(), "/etc/passwd\n");
  m_faults.FailNth("random", 1, ENOSYS);
  VivodStubCollectReader reader(Args());
  EXPECT_TRUE(reader.Initialize(InputList())) << reader.m_lastError;
  EXPECT_TRUE(m_faults.Stop());
  const unsigned long deviceOpen = NthOfItsFamily(m_faults.Trace(), "open /dev/urandom");
  EXPECT_GT(deviceOpen, 0u);
  EXPECT_TRUE(IsTemporaryOf(CollectPath(), LookupTemporary(), ::getpid()));

  // The device cannot be opened, or read, or gives nothing (its read is
  // the first of the call: nothing is read before the lookup).
  struct DeviceFault {
    const char* family;
    unsigned long nth;
    int error;
  };
  for (const auto& [family, nth, error] : {DeviceFault{"open", deviceOpen, EIO},
                                           DeviceFault{"read", 1, EIO},
                                           DeviceFault{"read", 1, VSCR_FAULTS_RETURN_ZERO}}) {
    SCOPED_TRACE(std::string(family) + " " + std::to_string(error));
    ASSERT_EQ(0, std::remove(CollectPath().c_str()));
    standin::ResetIndexService();
    m_faults.FailNth("random", 1, ENOSYS);
    m_faults.AlsoFailNth(family, nth, error);
    VivodStubCollectReader refused(Args());
    EXPECT_FALSE(refused.Initialize(InputList()));
    EXPECT_TRUE(m_faults.Stop());
    EXPECT_EQ("Failed to publish collect file " + CollectPath(), refused.m_lastError);
    EXPECT_EQ("", LookupTemporary());
    EXPECT_EQ(std::vector<std::string>{"input.lst"}, SortedEntries(m_dir.path()));
    WriteFile(CollectPath(), "");  // for the next round to remove
  }
}

// A host's calls on one reader, told as events: a GetItem result as
// Describe tells it, with the line of a record, and "wrote" when a call
// that gave no record touched the caller's strings.
struct HostCalls {
  int Item() {
    const ::Item got = CollectTest::ReadOne(reader);
    std::string event = "GetItem " + Describe(got);
    if (got.result == 1) event += " " + got.line;
    if (got.result != 1 && !Untouched(got)) event += " wrote";
    events.push_back(event);
    return got.result;
  }
  void Seek(uint64_t offset) {
    const bool moved = reader.SetSeekOffset(offset);
    events.push_back(moved ? "SetSeekOffset true" : "SetSeekOffset false " + reader.m_lastError);
  }

  VivodStubCollectReader& reader;
  std::vector<std::string> events;
};

// A host's walk: three records, a saved offset, five more, back to the
// start for two and back to the offset for the rest; then GetItem once
// more past the end, and the message that the host finds after its loop.
std::vector<std::string> WalkWithSeeks(VivodStubCollectReader& reader) {
  HostCalls host{reader, {}};
  if (!reader.Open()) {
    host.events.push_back("Open false " + reader.m_lastError);
    return host.events;
  }
  host.events.push_back("Open true");
  for (int i = 0; i < 3; ++i) host.Item();
  uint64_t saved = 0;
  if (!reader.GetSeekOffset(saved)) {  // a host has nowhere to come back to
    host.events.push_back("GetSeekOffset false " + reader.m_lastError);
    return host.events;
  }
  host.events.push_back("GetSeekOffset " + std::to_string(saved));
  for (int i = 0; i < 5; ++i) host.Item();
  host.Seek(0);
  for (int i = 0; i < 2; ++i) host.Item();
  host.Seek(saved);
  for (int i = 0; i < 1000 && host.Item() != 0; ++i) {
  }
  host.Item();
  host.events.push_back("after the end: " + reader.m_lastError);
  return host.events;
}

// The first difference from a clean walk is a told failure; after it come
// nothing but failures and the end, and the last failure's message stays
// for the host to find after its loop.
::testing::AssertionResult IsToldWalkFailure(const Outcome& clean, const Outcome& outcome,
                                             const std::vector<std::string>& failures) {
  const std::vector<std::string>& events = outcome.events;
  std::size_t first = 0;
  while (first < events.size() && first < clean.events.size() && events[first] == clean.events[first]) {
    ++first;
  }
  if (first == events.size()) return ::testing::AssertionFailure() << "walk cut short";
  if (!OneOf(events[first], failures)) {
    return ::testing::AssertionFailure()
           << "event " << first << " is '" << events[first] << "' where a clean walk has '"
           << (first < clean.events.size() ? clean.events[first] : "nothing") << "'";
  }
  std::string message;
  for (std::size_t i = first; i < events.size(); ++i) {
    if (OneOf(events[i], failures)) {
      message = events[i].substr(events[i].find(' ', events[i].find(' ') + 1) + 1);
    } else if (events[i] != "GetItem 0" &&
               !(i + 1 == events.size() && events[i] == "after the end: " + message)) {
      return ::testing::AssertionFailure() << "after a failure came '" << events[i] << "'";
    }
  }
  return ::testing::AssertionSuccess();
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
    outcome.events = WalkWithSeeks(*m_reader);
    m_reader.reset();
    return outcome;
  };
  walk.failure = [&](const Outcome& clean, const Outcome& outcome) {
    return IsToldWalkFailure(clean, outcome, failures);
  };
  Sweep(walk);
}

TEST_F(FaultSweep, CountLinesGivesTheCountOrZero) {
  WriteFile(CollectPath(), CollectBytes(4000));  // several blocks
  Operation count;
  count.families = {"open", "read", "close"};
  count.run = [&] {
    VivodStubCollectReader reader(Args());
    const unsigned long lines = reader.CountLines(CollectPath().c_str());
    Outcome outcome;
    outcome.ok = lines > 0;
    outcome.message = reader.m_lastError;
    outcome.events.push_back(std::to_string(lines));
    return outcome;
  };
  count.failure = [](const Outcome& clean, const Outcome& outcome) -> ::testing::AssertionResult {
    if (outcome.events != std::vector<std::string>{"0"}) {
      return ::testing::AssertionFailure() << "counted " << outcome.events.front() << " lines";
    }
    if (outcome.message != clean.message) return ::testing::AssertionFailure() << "set a message";
    return ::testing::AssertionSuccess();
  };
  Sweep(count);
}

// A conversion of `input` into `output` with '|', as an operation of the
// sweep: its result, its message and the log writer's events.
Operation Conversion(const std::string& input, const std::string& output) {
  Operation convert;
  convert.run = [=] {
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
  return convert;
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
  Operation convert = Conversion(input, output);
  convert.families = {"open", "read", "write", "close", "stat"};
  convert.prepare = [&] { std::remove(output.c_str()); };
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

// Every path written, the output's close can still fail, and a write can
// take no byte at all: either loses data, so the conversion fails. The
// input's close loses nothing.
TEST_F(FaultSweep, ConversionFailsOnAFailedCloseOfItsOutputOrAWriteThatTakesNothing) {
  const std::string input = m_dir.File("stubs.txt");
  const std::string output = m_dir.File("paths.txt");
  WriteFile(input, "a|/first:1\nb|/second:2\n");
  const Operation convert = Conversion(input, output);
  const std::string writeFailed = "Failed to write output file [" + output + "].";
  m_faults.CountOnly();
  ASSERT_TRUE(convert.run().ok);
  const unsigned long closes = m_faults.Calls("close");
  std::vector<std::string> failures;
  for (unsigned long nth = 1; nth <= closes; ++nth) {
    m_faults.FailNth("close", nth, EIO);
    const Outcome outcome = convert.run();
    EXPECT_TRUE(m_faults.Stop());
    if (!outcome.ok) failures.push_back(outcome.message);
  }
  EXPECT_EQ(std::vector<std::string>{writeFailed}, failures) << "of " << closes << " closes";
  m_faults.FailNth("write", 1, VSCR_FAULTS_RETURN_ZERO);
  const Outcome nothingTaken = convert.run();
  EXPECT_TRUE(m_faults.Stop());
  EXPECT_FALSE(nothingTaken.ok);
  EXPECT_EQ(writeFailed, nothingTaken.message);
}

// Were a failed stat taken for "a different file", converting a file onto
// itself would cut the input to nothing and report success. A clean run is
// the refusal.
TEST_F(FaultSweep, ConversionOntoItsOwnInputIsRefusedWhateverFails) {
  const std::string input = m_dir.File("stubs.txt");
  const std::string stubs = "a|/first:1\nb|/second:2\n";
  WriteFile(input, stubs);
  ASSERT_EQ(0, ::symlink(input.c_str(), m_dir.File("link.txt").c_str()));
  const std::string refusal = "Input and output are the same file [" + input + "].";
  for (const std::string& output : {input, m_dir.File("link.txt")}) {
    SCOPED_TRACE(output);
    Operation convert = Conversion(input, output);
    const auto converts = convert.run;
    convert.families = {"stat"};
    convert.run = [=] {
      Outcome outcome = converts();
      outcome.ok = !outcome.ok;
      return outcome;
    };
    convert.gather = [&] { return ReadFile(input); };
    convert.failure = [&](const Outcome&, const Outcome& outcome) -> ::testing::AssertionResult {
      if (!outcome.ok) return ::testing::AssertionFailure() << "converted";
      if (outcome.data != stubs) return ::testing::AssertionFailure() << "the input changed";
      if (!OneOf(outcome.message, {refusal, "Failed to open input file [" + input + "].",
                                   "Failed to open output file [" + output + "]."})) {
        return ::testing::AssertionFailure() << "unexpected message";
      }
      return ::testing::AssertionSuccess();
    };
    Sweep(convert);
    EXPECT_EQ(refusal, m_clean.message);
    EXPECT_EQ(stubs, m_clean.data);
  }
}

// A bad spot on the storage in the middle of one range of a cut: reading
// it fails however often it is tried. The range that holds it tells the
// read error after the records before the spot; every other range gives
// what it gives on sound storage, and never reads the spot.
TEST_F(FaultSweep, ReadErrorInsideARangeIsToldByThatRangeAlone) {
  // Ranges of some 35 KB, several times what one read takes in.
  const std::string bytes = CollectBytes(3000);
  WriteFile(CollectPath(), bytes);
  WriteFile(InputList(), "/etc/passwd\n");
  constexpr int kRanges = 4;
  const auto cut = [&](int i) { return uint64_t{bytes.size()} * i / kRanges; };
  // One reader per range, as one worker each; the spot is put there after
  // Initialize, which reads the whole file to count its lines.
  bool fired = false;
  const auto walk = [&](int i, bool damaged) {
    VivodStubCollectReader reader(Args());
    EXPECT_TRUE(reader.Initialize(InputList()) && reader.Open()) << reader.m_lastError;
    damaged ? m_faults.FailReadsAt((cut(1) + cut(2)) / 2, EIO) : m_faults.CountOnly();
    const RangeResults range = WalkRange(reader, cut(i), cut(i + 1));
    fired = m_faults.Stop();
    return range;
  };
  for (int i = 0; i < kRanges; ++i) {
    SCOPED_TRACE("range " + std::to_string(i));
    const RangeResults sound = walk(i, false);
    ASSERT_EQ("", sound.error);
    ASSERT_GT(sound.results.size(), 100u);
    const RangeResults damaged = walk(i, true);
    EXPECT_EQ(i == 1, fired);
    EXPECT_EQ(i == 1 ? "Failed to read collect file " + CollectPath() : "", damaged.error);
    // What came before the spot, and nothing after it.
    ASSERT_LE(damaged.results.size(), sound.results.size());
    EXPECT_TRUE(std::equal(damaged.results.begin(), damaged.results.end(), sound.results.begin()));
    EXPECT_EQ(i == 1, damaged.results.size() < sound.results.size());
    EXPECT_TRUE(i != 1 || !damaged.results.empty()) << "nothing before the spot";
  }
}

constexpr std::size_t kOverlong = std::size_t{20} << 20;  // past the 16 MiB a line may hold

// A line too long to hold is read past in many reads; one of them failing
// is a read error like any other, not the line's own complaint.
TEST_F(FaultSweep, OverlongLineIsPassedOverAndAReadErrorInsideItIsTold) {
  WriteFile(CollectPath(),
            RecordLine(0) + "\n" + std::string(kOverlong, 'z') + "\n" + RecordLine(1) + "\n");
  WriteFile(InputList(), "/etc/passwd\n");
  const std::string tooLong = "-1 Collect file line longer than " +
                              std::to_string(vscr::kMaxLineLength) + " bytes in stubs_42.lmf";
  const std::string readFailed = "-1 Failed to read collect file " + CollectPath();
  // The reads that pass over the long line: those of the second GetItem.
  unsigned long readsBefore = 0;
  const auto walk = [&](const std::function<void()>& arm, unsigned long* readsAfter) {
    VivodStubCollectReader reader(Args());
    EXPECT_TRUE(reader.Initialize(InputList()) && reader.Open()) << reader.m_lastError;
    arm();
    Results results{Describe(ReadOne(reader))};
    readsBefore = m_faults.Calls("read");
    results.push_back(Describe(ReadOne(reader)));
    *readsAfter = m_faults.Calls("read");
    for (const std::string& result : Walk(reader)) results.push_back(result);
    m_faults.Stop();
    return results;
  };
  unsigned long readsAfter = 0;
  EXPECT_EQ((Results{"1 /archive/dir-0/file-0.dat", tooLong, "1 /archive/dir-1/file-1.dat", "0"}),
            walk([&] { m_faults.CountOnly(); }, &readsAfter));
  ASSERT_GT(readsAfter - readsBefore, 100u);
  const unsigned long inside = readsAfter - 1;  // in the part that is read past
  unsigned long ignored = 0;
  EXPECT_EQ((Results{"1 /archive/dir-0/file-0.dat", readFailed, "0"}),
            walk([&] { m_faults.FailNth("read", inside, EIO); }, &ignored));
}

// The last line, as long and without a line feed, ends the file unread.
TEST_F(FaultSweep, ReadErrorAmongOverlongStubLinesIsTold) {
  const std::string input = m_dir.File("stubs.txt");
  const std::string output = m_dir.File("paths.txt");
  WriteFile(input, "a|/first:1\n" "b|" + std::string(kOverlong, 'z') + ":2\n" "c|/second:3\n" "d|" +
                       std::string(kOverlong, 'y') + ":4");
  VivodStubCollectReader reader{VivodStubCollectReaderInitArgs()};
  const StandardErrorToFile quiet(m_dir.File("log-writer.err"));
  m_faults.CountOnly();
  EXPECT_TRUE(reader.ProcessStubCollectFile(input, output, '|')) << reader.m_lastError;
  const unsigned long reads = m_faults.Calls("read");
  m_faults.Stop();
  EXPECT_EQ("/first\n/second\n", ReadFile(output));
  ASSERT_GT(reads, 4u);
  m_faults.FailNth("read", reads / 2, EIO);
  EXPECT_FALSE(reader.ProcessStubCollectFile(input, output, '|'));
  EXPECT_TRUE(m_faults.Stop());
  EXPECT_EQ("Failed to read input file [" + input + "].", reader.m_lastError);
}

volatile sig_atomic_t g_alarms = 0;
void CountAlarm(int) { g_alarms = g_alarms + 1; }

// A child that opens the FIFO at `path` late, after 200 ms, writes
// `records` and exits with 0; it gives up after 5 s should no reader come.
pid_t LateWriter(const std::string& path, const std::string& records) {
  const pid_t writer = ::fork();
  if (writer != 0) return writer;
  ::usleep(200 * 1000);
  int fd = -1;
  for (int tries = 0; fd < 0 && tries < 5000; ++tries) {
    fd = ::open(path.c_str(), O_WRONLY | O_NONBLOCK);
    if (fd < 0) ::usleep(1000);
  }
  if (fd < 0) ::_exit(1);
  ::fcntl(fd, F_SETFL, 0);
  const bool written =
      ::write(fd, records.data(), records.size()) == static_cast<ssize_t>(records.size());
  ::_exit(written && ::close(fd) == 0 ? 0 : 2);
}

// SIGALRM every 5 ms for the object's lifetime, without SA_RESTART, so
// that a waiting open returns EINTR; counted in g_alarms.
class Alarms {
 public:
  Alarms() {
    struct sigaction alarm {};
    alarm.sa_handler = CountAlarm;
    sigemptyset(&alarm.sa_mask);
    ::sigaction(SIGALRM, &alarm, &m_previous);
    g_alarms = 0;
    const itimerval every5ms{{0, 5000}, {0, 5000}};
    ::setitimer(ITIMER_REAL, &every5ms, nullptr);
  }
  ~Alarms() {
    const itimerval off{};
    ::setitimer(ITIMER_REAL, &off, nullptr);
    ::sigaction(SIGALRM, &m_previous, nullptr);
  }

 private:
  struct sigaction m_previous {};
};

using InterruptedOpen = CollectTest;

// A collect file that is a FIFO makes Open wait for its writer; signals
// arriving meanwhile interrupt the wait but must not fail the open.
TEST_F(InterruptedOpen, OpenOfAFifoOutlastsSignalsUntilAWriterComes) {
  ASSERT_EQ(0, ::mkfifo(CollectPath().c_str(), 0600));
  VivodStubCollectReader reader(Args());
  ASSERT_TRUE(reader.Initialize(WriteInputList("/etc/passwd\n")));  // the FIFO is there: reused
  const pid_t writer = LateWriter(CollectPath(), RecordLine(1) + "\n" + RecordLine(2) + "\n");
  ASSERT_GE(writer, 0);
  bool opened = false;
  {
    const Alarms alarms;
    opened = reader.Open();
  }
  int status = -1;
  ASSERT_EQ(writer, ::waitpid(writer, &status, 0));
  EXPECT_TRUE(opened) << reader.m_lastError;
  EXPECT_GT(g_alarms, 10) << "the open was hardly interrupted";
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  const std::vector<Item> items = ReadAll(reader);
  EXPECT_EQ((Results{"1 /archive/dir-1/file-1.dat", "1 /archive/dir-2/file-2.dat", "0"}),
            Describe(items));
  EXPECT_EQ(RecordLine(2), items.at(1).line);
}

}  // namespace
