// collect-walk, the operator's tool, run as an operator runs it: through a
// shell, with its standard output and error caught in files.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "TestFiles.h"

namespace {

struct Outcome {
  int status;
  std::string out;
  std::string err;
};

std::string Quote(const std::string& word) {
  std::string quoted = "'";
  for (const char c : word) {
    if (c == '\'') {
      quoted += "'\\''";
    } else {
      quoted += c;
    }
  }
  return quoted + "'";
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::string::size_type start = 0;
  for (std::string::size_type end; (end = text.find('\n', start)) != std::string::npos;) {
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  if (start < text.size()) lines.push_back(text.substr(start));
  return lines;
}

class CollectWalk : public ::testing::Test {
 protected:
  // Runs the bash command `line`, in which "WALK" stands for collect-walk,
  // in the test's folder, and returns its status, standard output and error.
  Outcome Shell(const std::string& line) {
    std::string program = line;
    const std::string::size_type walk = program.find("WALK");
    if (walk != std::string::npos) program.replace(walk, 4, Quote(COLLECT_WALK));
    // Not ">>": a program that writes its standard output through a second
    // descriptor must not be saved by O_APPEND.
    WriteFile(m_dir.File("run.sh"), "set -o pipefail\ncd " + Quote(m_dir.path()) +
                                        "\n{ " + program + "; } > out 2> err\n");
    const int raw = std::system(("bash " + Quote(m_dir.File("run.sh"))).c_str());
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, ReadFile(m_dir.File("out")),
            ReadFile(m_dir.File("err"))};
  }
  Outcome Walk(const std::string& arguments) { return Shell("WALK " + arguments); }

  // A list of archived files that exist, one absolute path per line.
  std::string ArchivedList(const std::string& name, const std::vector<std::string>& files) {
    std::string list;
    for (const std::string& file : files) {
      WriteFile(m_dir.File(file), file);
      list += m_dir.File(file) + "\n";
    }
    WriteFile(m_dir.File(name), list);
    return m_dir.File(name);
  }

  std::string Path(const std::string& name) const { return m_dir.File(name); }

  TempDir m_dir;
};

// Lines of every kind the conversion meets, for the comma and for the TAB
// delimiter: some yield a path, some yield none only once their trailing CR
// or TAB is gone, and the last has no line feed.
const std::string kStubLines =
    "17,/data/a.txt:3\n"
    "17,/plain\n"
    "17,\n"
    "\n"
    "no delimiter at all\n"
    "17,:5\n"
    "17,::\n"
    "17,/x:\r\n"
    "17,\r\n"
    "17,\t\n"
    "17,\r\r\n"
    "17,/c,d:e:f\n"
    "17\t/tab/one:1\n"
    "17\t/tab/two\t\n"
    "17\t\n"
    "17\t\t\n"
    "17\t:x\n"
    "17,/last:9";

constexpr char kNotRegular[] = "paths written: not counted, OUTPUT is not a regular file\n";

TEST_F(CollectWalk, ConversionCountsTheLinesOfARegularOutputOnly) {
  WriteFile(Path("stubs.txt"), kStubLines);
  for (const char* delimiter : {"comma", "tab"}) {
    SCOPED_TRACE(delimiter);
    const std::string convert = "--convert stubs.txt ";
    // The library's own output in a regular file is the reference.
    const Outcome regular = Walk(convert + "paths.txt " + delimiter);
    ASSERT_EQ(0, regular.status);
    const std::string paths = ReadFile(Path("paths.txt"));
    const std::size_t written = Lines(paths).size();
    ASSERT_GT(written, 1u);
    ASSERT_LT(written, Lines(kStubLines).size() / 2);
    const std::string count = "paths written: " + std::to_string(written) + "\n";
    EXPECT_EQ(count, regular.out);

    // Our own standard output, read by a pipe: a walk that reads its output
    // back never ends, and `timeout` says so with 124.
    const Outcome piped =
        Shell("timeout 20 WALK " + convert + "/dev/stdout " + delimiter + " | cat");
    EXPECT_EQ(0, piped.status);
    EXPECT_EQ(paths + kNotRegular, piped.out);

    const Outcome discarded = Walk(convert + "/dev/null " + delimiter);
    EXPECT_EQ(0, discarded.status);
    EXPECT_EQ(kNotRegular, discarded.out);

    // Standard output redirected to a file: the count follows the paths.
    const Outcome redirected = Walk(convert + "/dev/stdout " + delimiter);
    EXPECT_EQ(0, redirected.status);
    EXPECT_EQ(paths + count, redirected.out);
  }
  // The conversion passes over a line this long.
  WriteFile(Path("long.txt"), "17,/" + std::string(std::size_t{16} << 20, 'x') + "\n17,/a:1\n");
  EXPECT_EQ("paths written: 1\n", Walk("--convert long.txt paths.txt comma").out);
  EXPECT_EQ("/a\n", ReadFile(Path("paths.txt")));

  // An INPUT that can be read only once still gives a count: it is taken
  // from OUTPUT.
  const Outcome fromPipe = Shell("cat stubs.txt | WALK --convert /dev/stdin paths.txt comma");
  EXPECT_EQ(0, fromPipe.status);
  EXPECT_EQ("paths written: " + std::to_string(Lines(ReadFile(Path("paths.txt"))).size()) + "\n",
            fromPipe.out);
}

// Started with some of its standard descriptors closed, as job schedulers
// start programs, the tool must not let the files it opens take their
// numbers: the host's debug log, written to standard error, would land in
// the path list.
TEST_F(CollectWalk, ClosedStandardDescriptorsKeepTheLogOutOfThePathList) {
  // The log writer writes each line as it is logged, while the files are
  // open; a hundred paths give it a hundred chances to land in the list.
  std::string stubs;
  for (int i = 0; i < 100; ++i) stubs += "17,/data/file-" + std::to_string(i) + ".txt:1\n";
  WriteFile(Path("stubs.txt"), stubs + kStubLines);
  const Outcome open = Walk("--convert stubs.txt reference.txt comma");
  ASSERT_EQ(0, open.status);
  ASSERT_NE(std::string::npos, open.err.find("reference.txt")) << "no log line: " << open.err;
  const std::string reference = ReadFile(Path("reference.txt"));
  for (const char* closing : {"<&- 2>&-", "<&- >&- 2>&-", ">&-", "2>&-"}) {
    SCOPED_TRACE(closing);
    const Outcome closed = Shell("WALK --convert stubs.txt paths.txt comma " +
                                 std::string(closing) + "; echo status $?");
    EXPECT_NE(std::string::npos, closed.out.find("status 0\n")) << closed.out;
    EXPECT_EQ(reference, ReadFile(Path("paths.txt")));
  }
  // A walk, too: its standard output holds the records, nothing else.
  const std::string list = ArchivedList("list.txt", {"a.txt", "b.txt"});
  const Outcome walked = Shell("WALK " + list + " <&- 2>&-");
  EXPECT_EQ(0, walked.status);
  EXPECT_EQ(0u, walked.out.find(Path("a.txt") + "\n" + Path("b.txt") + "\ncollect file: "))
      << walked.out;
}

// Installed, the tool finds the sample in the data folder beside its bin
// folder; the build tree's finds the sample in the source tree.
TEST_F(CollectWalk, SampleIsFoundBesideAnInstalledProgram) {
  const Outcome built = Walk("--help");
  const std::string sampleLine = built.out.substr(built.out.rfind("SAMPLE: "));
  const std::string sourceSample = sampleLine.substr(8, sampleLine.size() - 9);
  EXPECT_TRUE(FileExists(sourceSample + "/archived-files.lst")) << sourceSample;
  EXPECT_TRUE(FileExists(sourceSample + "/stub-collect.txt")) << sourceSample;

  const std::string prefix = std::filesystem::canonical(m_dir.path()).string() + "/prefix";
  const std::string sample = prefix + "/share/VivodStubCollectReader/sample";
  std::filesystem::create_directories(prefix + "/bin");
  std::filesystem::create_directories(sample);
  std::filesystem::copy_file(COLLECT_WALK, prefix + "/bin/collect-walk");
  // The build tree's program finds the reader through its RUNPATH
  // $ORIGIN/../../lib, relative to itself, so the copy needs that folder.
  const std::filesystem::path buildBin = std::filesystem::path(COLLECT_WALK).parent_path();
  std::filesystem::create_directory_symlink(std::filesystem::canonical(buildBin / "../../lib"),
                                            m_dir.path() + "/lib");
  ArchivedList("list.txt", {"x.txt", "y.txt"});
  std::filesystem::copy_file(Path("list.txt"), sample + "/archived-files.lst");
  const Outcome installed = Shell("cd / && " + Quote(prefix + "/bin/collect-walk"));
  EXPECT_EQ(0, installed.status) << installed.err;
  const std::vector<std::string> lines = Lines(installed.out);
  ASSERT_GE(lines.size(), 4u) << installed.out;
  EXPECT_EQ("sample: " + sample + "/archived-files.lst", lines[0]);
  EXPECT_EQ(0u, lines[2].rfind(Path("x.txt") + "\t", 0)) << lines[2];
  EXPECT_EQ(0u, lines[3].rfind(Path("y.txt") + "\t", 0)) << lines[3];
  EXPECT_NE(std::string::npos,
            Shell(Quote(prefix + "/bin/collect-walk") + " --help").out.find("SAMPLE: " + sample));
}

TEST_F(CollectWalk, ArgumentErrorsGiveOneUsageLineAndStatusTwo) {
  const std::string list = ArchivedList("list.txt", {"a.txt"});
  const std::string badCommands[] = {
      "--bogus " + list,
      "--field-count 4 " + list,   // nothing to count without --fields
      "--number -1 " + list,
      "--offset",
      "--verbose",                  // no INPUT
      list + " " + list,
      "--convert stubs.txt paths.txt",
      "--convert stubs.txt paths.txt ab",
      "--range 0:10 --offset 0 " + list,
      "--offset 0 --range 0:10 " + list,
      "--range 10:9 " + list,
      "--range 10 " + list,
      "--range :10 " + list,
      "--range -1:10 " + list,
      "--shards 0 " + list,
      "--shards 2 --range 0:10 " + list,
      "--shards -2 " + list,
  };
  for (const std::string& arguments : badCommands) {
    SCOPED_TRACE(arguments);
    const Outcome run = Walk(arguments);
    EXPECT_EQ(2, run.status);
    EXPECT_EQ("", run.out);
    const std::vector<std::string> lines = Lines(run.err);
    ASSERT_EQ(3u, lines.size()) << run.err;
    EXPECT_EQ(0u, lines[0].rfind("collect-walk: ", 0));
    EXPECT_EQ(0u, lines[1].rfind("usage: collect-walk ", 0));
    EXPECT_NE(std::string::npos, lines[2].find("--help"));
  }

  const Outcome help = Walk("--help");
  EXPECT_EQ(0, help.status);
  EXPECT_EQ("", help.err);
  const std::string statusSection = help.out.substr(help.out.find("exit status:"));
  EXPECT_NE(std::string::npos, statusSection.find("0  done"));
  EXPECT_NE(std::string::npos, statusSection.find("1  a library failure"));
  EXPECT_NE(std::string::npos, statusSection.find("2  bad arguments"));
  for (const char* option : {"--shards N", "--range B:E", "--progress"}) {
    EXPECT_NE(std::string::npos, help.out.find("\n  " + std::string(option) + " ")) << option;
  }
}

TEST_F(CollectWalk, LibraryFailuresGiveTheLibrarysMessageAndStatusOne) {
  const Outcome missingInput = Walk(Path("missing-list.txt"));
  EXPECT_EQ(1, missingInput.status);
  EXPECT_EQ("collect-walk: Initialize failed: Input file is empty or not present.\n",
            missingInput.err);

  // Reading /proc/self/mem at offset 0 fails with EIO: a read error in the
  // middle of a walk, which the reader reports once and then ends.
  const std::string list = ArchivedList("list.txt", {"a.txt"});
  ASSERT_EQ(0, ::symlink("/proc/self/mem", Path("collect_1.lmf").c_str()));
  const Outcome readError = Walk(list);
  EXPECT_EQ(1, readError.status);
  EXPECT_EQ("reusing existing collect file ./collect_1.lmf\n"
            "collect-walk: GetItem failed: Failed to read collect file ./collect_1.lmf\n",
            readError.err);
}

TEST_F(CollectWalk, FieldsAloneTakeTheirNamesAsTheFieldCount) {
  const std::string list = ArchivedList("list.txt", {"a.txt", "b,c.txt", "d.txt"});
  const std::string names =
      Path("a.txt") + "\n" + Path("b,c.txt") + "\n" + Path("d.txt") + "\n";
  const std::string layouts[] = {
      "arch_group_id,full_file_name,isvalid,file_size",
      "arch_group_id,arch_file_id,full_file_name,isvalid,file_size",
      "arch_group_id,arch_file_id,arch_file_offs,full_file_name,isvalid,file_size",
  };
  int number = 0;
  for (const std::string& fields : layouts) {
    SCOPED_TRACE(fields);
    const Outcome run = Walk("--number " + std::to_string(++number) + " --fields " + fields +
                         " " + list);
    EXPECT_EQ(0, run.status) << run.err;
    EXPECT_EQ(0u, run.out.find(names)) << run.out;
  }
}

TEST_F(CollectWalk, ReusedCollectFileIsAnnouncedOnStandardError) {
  const std::string first = ArchivedList("first.txt", {"a.txt", "b.txt"});
  const std::string second = ArchivedList("second.txt", {"c.txt"});
  const Outcome made = Walk(first);
  EXPECT_EQ(0, made.status);
  EXPECT_EQ("", made.err);

  // Another INPUT, the same collect file: the old records come back.
  const Outcome reused = Walk(second);
  EXPECT_EQ(0, reused.status);
  EXPECT_EQ("reusing existing collect file ./collect_1.lmf\n", reused.err);
  EXPECT_EQ(0u, reused.out.find(Path("a.txt") + "\n" + Path("b.txt") + "\n"));

  const Outcome elsewhere = Walk("--work-dir " + Quote(m_dir.path()) + " " + second);
  EXPECT_EQ("reusing existing collect file " + Path("collect_1.lmf") + "\n", elsewhere.err);
}

std::string Record(const std::string& name) { return "1,2,3,4," + name + ",1,\"m\""; }

TEST_F(CollectWalk, OffsetsResumeAtEveryRecordAndAfterTheLast) {
  // Written by hand and reused as it stands: skipped lines, a CRLF line, a
  // quoted name with a comma, and a last line without a line feed.
  const std::vector<std::string> lines = {
      Record("/a"), "", "1,2,short", Record("/b") + "\r", Record("\"/c,d\""), Record("/e")};
  std::string collect;
  std::vector<uint64_t> starts;
  for (const std::string& line : lines) {
    starts.push_back(collect.size());
    collect += line + "\n";
  }
  collect.pop_back();
  WriteFile(Path("collect_1.lmf"), collect);
  const std::string list = ArchivedList("list.txt", {"a.txt"});
  const std::vector<std::string> names = {"/a", "/b", "/c,d", "/e"};
  const std::vector<uint64_t> nameStarts = {starts[0], starts[3], starts[4], starts[5]};
  const std::string summaryEnd = ", next offset: " + std::to_string(collect.size()) + "\n";

  const Outcome whole = Walk("--offsets " + list);
  ASSERT_EQ(0, whole.status) << whole.err;
  // A skipped line stands in its place, with the library's message.
  const std::vector<std::string> shown = {
      "/a", "skipped: Retreived empty line from collect file collect_1.lmf",
      "skipped: Could not find all desired fields in collect file entry", "/b", "/c,d", "/e"};
  std::string expected;
  for (std::size_t i = 0; i < shown.size(); ++i) {
    expected += std::to_string(starts[i]) + "\t" + shown[i] + "\n";
  }
  EXPECT_EQ(0u, whole.out.find(expected)) << whole.out;
  EXPECT_NE(std::string::npos, whole.out.find("records: 4, skipped: 2" + summaryEnd));

  // Resumed at each record's offset: the rest of the first walk, word for word.
  for (std::size_t i = 0; i < names.size(); ++i) {
    SCOPED_TRACE(names[i]);
    const Outcome resumed =
        Walk("--offsets --offset " + std::to_string(nameStarts[i]) + " " + list);
    EXPECT_EQ(0, resumed.status);
    const std::string rest = expected.substr(expected.find(std::to_string(nameStarts[i]) + "\t"));
    EXPECT_EQ(0u, resumed.out.find(rest)) << resumed.out;
    EXPECT_NE(std::string::npos, resumed.out.find(summaryEnd)) << resumed.out;
  }
  const Outcome atEnd = Walk("--offset " + std::to_string(collect.size()) + " " + list);
  EXPECT_EQ(0, atEnd.status);
  EXPECT_NE(std::string::npos, atEnd.out.find("records: 0, skipped: 0" + summaryEnd));
}

struct UnusableCase {
  std::string arguments;  // before INPUT
  std::string reason;     // a part of the message
};

TEST_F(CollectWalk, UnusableWorkDirInputOrPrefixIsNamedBeforeAnyLookup) {
  const std::string list = ArchivedList("list.txt", {"a.txt"});
  ::mkdir(Path("work").c_str(), 0755);
  const UnusableCase cases[] = {
      {"--work-dir " + Path("absent"), "work dir " + Path("absent") + " does not exist"},
      {"--work-dir " + list, "work dir " + list + " is not a directory"},
      {"--work-dir " + Path("work") + " --prefix sub/name", "prefix 'sub/name' holds a '/'"},
  };
  for (const UnusableCase& c : cases) {
    SCOPED_TRACE(c.arguments);
    const Outcome run = Walk(c.arguments + " " + list);
    EXPECT_EQ(2, run.status);
    EXPECT_NE(std::string::npos, run.err.find(c.reason)) << run.err;
    EXPECT_EQ(std::string::npos, run.err.find("FetchIndexInfo")) << run.err;
  }

  const Outcome directoryInput = Walk("--work-dir " + Path("work") + " " + Path("work"));
  EXPECT_EQ(2, directoryInput.status);
  EXPECT_EQ("collect-walk: INPUT " + Path("work") +
                " is a directory, not a list of archived files\n",
            directoryInput.err);
  EXPECT_EQ(std::vector<std::string>{}, SortedEntries(Path("work")));
}

// A failed Initialize is told with the library's message; when the work dir
// shows why, the cause follows, named after the collect file the reader
// chose, and the status says that an argument was unusable.
TEST_F(CollectWalk, WorkDirThatCannotTakeTheCollectFileIsNamedAfterTheLibrarysMessage) {
  const std::string list = ArchivedList("list.txt", {"a.txt"});
  ::mkdir(Path("work").c_str(), 0755);
  ::mkdir(Path("locked").c_str(), 0555);
  // The work dirs and INPUT must be reachable for the unprivileged user
  // that root runs the program as, below.
  ::chmod(m_dir.path().c_str(), 0755);
  ::chmod(list.c_str(), 0644);
  const std::string longName = std::string(300, 'p') + "_1.lmf";
  const Outcome tooLong =
      Walk("--work-dir " + Path("work") + " --prefix " + std::string(300, 'p') + " " + list);
  EXPECT_EQ(2, tooLong.status);
  std::vector<std::string> lines = Lines(tooLong.err);
  ASSERT_EQ(2u, lines.size()) << tooLong.err;
  EXPECT_EQ(0u, lines[0].rfind("collect-walk: Initialize failed: ", 0)) << lines[0];
  EXPECT_EQ(0u, lines[1].rfind("collect-walk: collect file name " + longName + " is 306 bytes, "
                               "longer than the ", 0))
      << lines[1];
  EXPECT_EQ(std::vector<std::string>{}, SortedEntries(Path("work")));

  // Root may write anywhere, so an unwritable work dir needs another user.
  std::string asUser;
  if (::geteuid() == 0) {
    if (std::system("command -v setpriv > /dev/null") != 0) GTEST_SKIP() << "no setpriv";
    asUser = "setpriv --reuid=65534 --regid=65534 --clear-groups ";
  }
  const Outcome locked = Shell(asUser + "WALK --work-dir " + Path("locked") + " " + list);
  EXPECT_EQ(2, locked.status);
  lines = Lines(locked.err);
  ASSERT_EQ(2u, lines.size()) << locked.err;
  EXPECT_EQ(0u, lines[0].rfind("collect-walk: Initialize failed: ", 0)) << lines[0];
  EXPECT_EQ("collect-walk: work dir " + Path("locked") +
                " is not writable, so the collect file collect_1.lmf cannot be written there",
            lines[1]);

  // The same work dir serves once the collect file is there: it is reused.
  WriteFile(Path("work/collect_1.lmf"), Record("/kept") + "\n");
  ::chmod(Path("work").c_str(), 0555);
  const Outcome reused = Shell(asUser + "WALK --work-dir " + Path("work") + " " + list);
  EXPECT_EQ(0, reused.status) << reused.err;
  EXPECT_EQ(0u, reused.out.find("/kept\n")) << reused.out;
}

// A collect file written by hand with every kind of line a range must carry
// across a cut, and a last line without a line feed; and where its lines
// begin.
struct HandWritten {
  std::string bytes;
  std::vector<uint64_t> starts;
};

HandWritten MixedCollectFile() {
  HandWritten file;
  for (int i = 0; i < 240; ++i) {
    const std::string n = std::to_string(i);
    const std::string lines[] = {Record("/r-" + n), Record("/crlf-" + n) + "\r", "", "\r",
                                 "1,2,short-" + n, Record("\"/q," + n + " \\\"x\\\"\"")};
    file.starts.push_back(file.bytes.size());
    file.bytes += lines[i % 6] + "\n";
  }
  file.bytes.pop_back();
  return file;
}

// A walk's standard output: the lines of its records, and its summary,
// from "collect file: " on.
struct Printed {
  std::string records;
  unsigned long recordCount = 0;
  unsigned long skipped = 0;
  unsigned long long nextOffset = 0;
};

Printed Split(const std::string& out) {
  Printed printed;
  const std::string::size_type summary = out.rfind("collect file: ");
  printed.records = out.substr(0, summary);
  const std::string last = out.substr(out.rfind("records: "));
  EXPECT_EQ(3, std::sscanf(last.c_str(), "records: %lu, skipped: %lu, next offset: %llu",
                           &printed.recordCount, &printed.skipped, &printed.nextOffset))
      << out;
  return printed;
}

using Cuts = std::vector<uint64_t>;

// The lines "BEGIN END" that --shards printed, as cut points.
Cuts ShardCuts(const std::string& out) {
  Cuts cuts;
  unsigned long long begin = 0;
  unsigned long long end = 0;
  for (const std::string& line : Lines(out)) {
    EXPECT_EQ(2, std::sscanf(line.c_str(), "%llu %llu", &begin, &end)) << line;
    EXPECT_EQ(line, std::to_string(begin) + " " + std::to_string(end));
    if (cuts.empty()) {
      cuts.push_back(begin);
    } else {
      EXPECT_EQ(cuts.back(), begin) << "a gap or an overlap before " << line;
    }
    cuts.push_back(end);
  }
  return cuts;
}

TEST_F(CollectWalk, RangesPutTogetherGiveTheWholeWalk) {
  const HandWritten file = MixedCollectFile();
  const uint64_t size = file.bytes.size();
  WriteFile(Path("collect_1.lmf"), file.bytes);
  const std::string list = ArchivedList("list.txt", {"a.txt"});
  const Outcome wholeRun = Walk("--offsets -v " + list);
  ASSERT_EQ(0, wholeRun.status) << wholeRun.err;
  const Printed whole = Split(wholeRun.out);
  ASSERT_GT(whole.skipped, 100u);

  const Outcome shards = Walk("--shards 3 " + list);
  ASSERT_EQ(0, shards.status);
  EXPECT_EQ("reusing existing collect file ./collect_1.lmf\n", shards.err);
  std::vector<Cuts> sets = {ShardCuts(shards.out)};
  ASSERT_EQ((Cuts{0, size / 3, size * 2 / 3, size}), sets[0]) << shards.out;
  // Inside a CRLF pair, twice at one point, at a line start, and at random.
  const uint64_t crlf = file.bytes.find("\r\n") + 1;
  sets.push_back({0, crlf, crlf, file.starts[7], size});
  std::mt19937 random(19);
  for (int i = 0; i < 3; ++i) {
    Cuts cuts = {0, size};
    for (int k = 0; k < 3; ++k) cuts.push_back(std::uniform_int_distribution<uint64_t>(0, size)(random));
    std::sort(cuts.begin(), cuts.end());
    sets.push_back(cuts);
  }
  for (const Cuts& cuts : sets) {
    Printed joined;
    for (std::size_t i = 0; i + 1 < cuts.size(); ++i) {
      const std::string range = std::to_string(cuts[i]) + ":" + std::to_string(cuts[i + 1]);
      SCOPED_TRACE("--range " + range);
      const Outcome run = Walk("--offsets -v --range " + range + " " + list);
      ASSERT_EQ(0, run.status) << run.err;
      const Printed part = Split(run.out);
      joined.records += part.records;
      joined.recordCount += part.recordCount;
      joined.skipped += part.skipped;
      // It stopped at the first line that begins at or after its end.
      const auto next = std::lower_bound(file.starts.begin(), file.starts.end(), cuts[i + 1]);
      EXPECT_EQ(next == file.starts.end() ? size : *next, part.nextOffset);
    }
    EXPECT_TRUE(joined.records == whole.records) << "the ranges gave:\n" << joined.records;
    EXPECT_EQ(whole.recordCount, joined.recordCount);
    EXPECT_EQ(whole.skipped, joined.skipped);
  }
}

TEST_F(CollectWalk, ShardsPrintRangesAloneAndNotesGoToStandardError) {
  // For an empty list the index service writes an empty collect file, and
  // Initialize leaves a note.
  const std::string list = ArchivedList("list.txt", {});
  const std::string note = "note: FetchIndexInfo returned emtpy file.\n";
  const Outcome shards = Walk("--shards 2 " + list);
  EXPECT_EQ(0, shards.status);
  EXPECT_EQ("0 0\n0 0\n", shards.out);
  EXPECT_EQ(note, shards.err);
  const Outcome reused = Walk("--range 0:0 " + list);
  EXPECT_EQ(0, reused.status);
  EXPECT_EQ("reusing existing collect file ./collect_1.lmf\n", reused.err);

  // A whole walk tells the note among its lines; a range, whose lines are
  // a part of a whole walk's, on standard error, and says that it had to
  // make the collect file, which the ranges should share.
  EXPECT_EQ(0u, Walk("--number 2 " + list).out.find(note));
  const Outcome made = Walk("--number 3 --range 0:0 " + list);
  EXPECT_EQ(0, made.status);
  EXPECT_EQ(std::string::npos, made.out.find("note: ")) << made.out;
  EXPECT_EQ("made collect file ./collect_3.lmf; run --shards first, so that all ranges read "
            "one file\n" + note,
            made.err);
}

// Whether standard error holds a progress line, drawn and then cleared:
// pieces that begin with a carriage return, the last of them blanks as
// long as the longest line drawn, and nothing after it.
::testing::AssertionResult DrawnAndCleared(const std::string& err) {
  const std::string::size_type first = err.find('\r');
  if (first == std::string::npos) return ::testing::AssertionFailure() << "no line drawn";
  if (err.back() != '\r') return ::testing::AssertionFailure() << "not cleared at the end";
  std::vector<std::string> pieces;
  for (std::string::size_type at = first; at + 1 < err.size();) {
    const std::string::size_type next = err.find('\r', at + 1);
    pieces.push_back(err.substr(at + 1, next - at - 1));
    at = next;
  }
  const std::string blanks = pieces.back();
  pieces.pop_back();
  if (pieces.empty()) return ::testing::AssertionFailure() << "only cleared";
  if (blanks.find_first_not_of(' ') != std::string::npos) {
    return ::testing::AssertionFailure() << "cleared with '" << blanks << "'";
  }
  for (const std::string& line : pieces) {
    if (line.find(" records, ") == std::string::npos || line.find(" records/s") == std::string::npos ||
        line.size() > blanks.size()) {
      return ::testing::AssertionFailure() << "drew '" << line << "', cleared " << blanks.size();
    }
  }
  return ::testing::AssertionSuccess();
}

TEST_F(CollectWalk, ProgressLineShowsOnlyOnATerminalOrWhenAsked) {
  std::string collect;
  for (int i = 0; i < 20000; ++i) collect += Record("/archive/file-" + std::to_string(i)) + "\n";
  WriteFile(Path("collect_1.lmf"), collect);
  const std::string list = ArchivedList("list.txt", {"a.txt"});
  const std::string reused = "reusing existing collect file ./collect_1.lmf\n";
  // A reader of the names that comes late holds the walk up for longer than
  // the tenth of a second in which the line is never drawn.
  const std::string slowReader = " | { sleep 0.3; cat > names.txt; }";

  const Outcome asked = Shell("WALK --progress " + list + slowReader);
  EXPECT_EQ(0, asked.status);
  ASSERT_EQ(0u, asked.err.find(reused)) << asked.err;
  EXPECT_TRUE(DrawnAndCleared(asked.err.substr(reused.size())));
  EXPECT_EQ(20002u, Lines(ReadFile(Path("names.txt"))).size());  // and the summary

  const Outcome inAPipe = Shell("WALK " + list + slowReader);
  EXPECT_EQ(0, inAPipe.status);
  EXPECT_EQ(reused, inAPipe.err);

  if (std::system("command -v script > /dev/null") != 0) GTEST_SKIP() << "no script";
  // Under a terminal, which `script` makes and copies to its output.
  const Outcome watched = Shell("script -qec \"WALK " + list + slowReader + "\" /dev/null");
  EXPECT_EQ(0, watched.status) << watched.err;
  const std::string reusedOnTerminal = "reusing existing collect file ./collect_1.lmf\r\n";
  ASSERT_EQ(0u, watched.out.find(reusedOnTerminal)) << watched.out;
  EXPECT_TRUE(DrawnAndCleared(watched.out.substr(reusedOnTerminal.size())));

  // Standard error in the pipe, beside the names: no line there either.
  const Outcome merged = Shell("script -qec \"WALK " + list + " 2>&1" + slowReader + "\" /dev/null");
  EXPECT_EQ(0, merged.status);
  EXPECT_EQ("", merged.out);
  const std::string names = ReadFile(Path("names.txt"));
  EXPECT_EQ(0u, names.find(reused));
  EXPECT_EQ(std::string::npos, names.find('\r'));
}

}  // namespace
