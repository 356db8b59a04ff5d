// collect-walk, the operator's tool, run as an operator runs it: through a
// shell, with its standard output and error caught in files.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "ChildProcess.h"
#include "CollectTestHarness.h"

namespace {

struct Outcome {
  int status;  // as the shell tells it: 128 + N for signal N
  std::string out;
  std::string err;
};

class CollectWalk : public ::testing::Test {
 protected:
  // Runs the bash command `line` in the test's folder, with WALK standing
  // for collect-walk and L for a list of archived files that exist.
  Outcome Shell(const std::string& line) {
    WriteFile(Path("list.lst"), Path("list.lst") + "\n");
    WriteFile(Path("run.sh"), "set -o pipefail\ncd '" + m_dir.path() + "'\nWALK='" COLLECT_WALK
                                  "'\nL=list.lst\n{ " + line + "\n} >out 2>err\n");
    const ChildRun run = RunInChild([&] {
      ::execl("/bin/bash", "bash", Path("run.sh").c_str(), static_cast<char*>(nullptr));
      return std::string();
    });
    return {WIFEXITED(run.status) ? WEXITSTATUS(run.status) : -1, ReadFile(Path("out")),
            ReadFile(Path("err"))};
  }
  std::string Path(const std::string& name) const { return m_dir.File(name); }

  TempDir m_dir;
};

struct ArgumentCase {
  std::string line;
  int status;
  std::string out;  // how standard output begins
  std::string err;  // a part of standard error
};

TEST_F(CollectWalk, ArgumentsAreTakenAsGetoptLongTakesThemWithTheStatusesThatHelpGives) {
  const std::string version = "collect-walk (VivodStubCollectReader) " VSCR_VERSION "\nBuilt against ";
  const std::string bad = "Try 'collect-walk --help' for more information.\n";
  WriteFile(Path("-dash.lst"), "");
  const ArgumentCase cases[] = {
      {"$WALK --help", 0, "Usage: collect-walk [OPTION]... INPUT\n", ""},
      {"$WALK -vh", 0, "Usage: collect-walk ", ""},
      {"$WALK --version", 0, version, ""},
      {"$WALK --vers", 0, version, ""},
      {"$WALK --work-dir=. --number=2 -- $L", 0, "", "records: 1, skipped: 0"},
      {"$WALK --work-dir . --prefix=p -- -dash.lst", 0, "", "note: "},
      {"$WALK --bogus $L", 2, "", "unrecognized or ambiguous option '--bogus'\n" + bad},
      {"$WALK --off=1 $L", 2, "", "ambiguous option '--off=1'"},
      {"$WALK -x $L", 2, "", "invalid option -- 'x'"},
      {"$WALK $L --work-dir", 2, "", "option '--work-dir' needs a value"},
      {"$WALK --number -1 $L", 2, "", "invalid value '-1' for --number"},
      {"$WALK --number=4294967296 $L", 2, "", "for --number"},
      {"$WALK --range 10:9 $L", 2, "", "for --range"},
      {"$WALK --range=:10 $L", 2, "", "for --range"},
      {"$WALK --shard 3/2 $L", 2, "", "for --shard"},
      {"$WALK --shard=0/2 $L", 2, "", "for --shard"},
      {"$WALK --shards 0 $L", 2, "", "for --shards"},
      {"$WALK --shards 2 --range 0:10 $L", 2, "", "only one of --offset, --range"},
      {"$WALK --field-count 4 $L", 2, "", "--field-count needs --fields"},
      {"$WALK -v", 2, "", "no INPUT given"},
      {"$WALK $L $L", 2, "", "only one INPUT"},
      {"$WALK - <$L", 2, "", "INPUT cannot be \"-\""},
      {"$WALK --convert $L out.txt", 2, "", "--convert takes INPUT OUTPUT DELIM"},
      {"$WALK --convert $L out.txt ab", 2, "", "DELIM must be one character"},
      {"$WALK missing.lst", 1, "", "collect-walk: Initialize failed: Input file is empty or not present.\n"},
      {"$WALK --work-dir=absent $L", 1, "", "collect-walk: Initialize failed: "},
  };
  for (const ArgumentCase& c : cases) {
    SCOPED_TRACE(c.line);
    const Outcome run = Shell(c.line);
    EXPECT_EQ(c.status, run.status) << run.err;
    EXPECT_EQ(0u, run.out.rfind(c.out, 0)) << run.out;
    EXPECT_NE(std::string::npos, run.err.find(c.err)) << run.err;
    if (c.status == 2) {
      EXPECT_EQ("", run.out);
      EXPECT_EQ(bad, run.err.substr(run.err.size() - std::min(run.err.size(), bad.size())));
    }
  }
}

// A collect file written by hand, reused as it stands: every kind of line a
// range must carry across a cut, and a last line without a line feed.
std::string MixedCollectFile(int lines) {
  std::string bytes;
  for (int i = 0; i < lines; ++i) {
    const std::string n = std::to_string(i);
    const std::string kinds[] = {Record("/r-" + n), Record("/crlf-" + n) + "\r", "", "\r",
                                 "1,2,short-" + n, Record("\"/q," + n + " \\\"x\\\"\"")};
    bytes += kinds[i % 6] + "\n";
  }
  bytes.pop_back();
  return bytes;
}

TEST_F(CollectWalk, StandardOutputHoldsDataAloneSoRangesAndResumesPutTogetherGiveTheWholeWalk) {
  const std::string file = MixedCollectFile(240);
  WriteFile(Path("collect_1.lmf"), file);
  const Outcome whole = Shell("$WALK --offsets -v $L");
  ASSERT_EQ(0, whole.status) << whole.err;
  EXPECT_EQ("reusing existing collect file ./collect_1.lmf\ncollect file: ./collect_1.lmf\n"
            "records: 120, skipped: 120, next offset: " + std::to_string(file.size()) + "\n",
            whole.err);
  const std::vector<std::string> lines = [&] {
    std::vector<std::string> split;
    for (std::size_t at = 0, end; (end = whole.out.find('\n', at)) != std::string::npos; at = end + 1) {
      split.push_back(whole.out.substr(at, end + 1 - at));
    }
    return split;
  }();
  ASSERT_EQ(240u, lines.size());
  EXPECT_EQ("skipped: Retreived empty line from collect file collect_1.lmf\n", lines[2].substr(lines[2].find('\t') + 1));

  // The cuts --shards prints, cuts inside a CRLF pair and twice at one
  // point, and cuts at random: the ranges' outputs, put together, are the
  // whole walk's byte for byte.
  const Outcome shards = Shell("$WALK --shards 3 $L");
  const uint64_t size = file.size();
  EXPECT_EQ(std::to_string(0) + " " + std::to_string(size / 3) + "\n" + std::to_string(size / 3) + " " +
                std::to_string(size * 2 / 3) + "\n" + std::to_string(size * 2 / 3) + " " + std::to_string(size) + "\n",
            shards.out);
  const uint64_t crlf = file.find("\r\n") + 1;
  std::vector<std::vector<uint64_t>> cutSets = {{0, size / 3, size * 2 / 3, size}, {0, crlf, crlf, size + 9}};
  std::mt19937 random(19);
  for (int i = 0; i < 3; ++i) {
    std::vector<uint64_t> cuts = {0, size};
    for (int k = 0; k < 3; ++k) cuts.push_back(std::uniform_int_distribution<uint64_t>(0, size)(random));
    std::sort(cuts.begin(), cuts.end());
    cutSets.push_back(cuts);
  }
  for (const std::vector<uint64_t>& cuts : cutSets) {
    std::string command;
    for (std::size_t i = 0; i + 1 < cuts.size(); ++i) {
      command += "$WALK --offsets -v --range " + std::to_string(cuts[i]) + ":" + std::to_string(cuts[i + 1]) + " $L\n";
    }
    const Outcome joined = Shell(command);
    EXPECT_EQ(0, joined.status) << joined.err;
    EXPECT_TRUE(joined.out == whole.out) << command;
  }
  EXPECT_TRUE(Shell("for i in 1 2 3; do $WALK --offsets -v --shard $i/3 $L; done").out == whole.out);

  // Resumed at the offset printed with a line: the rest of the walk after it.
  for (std::size_t i = 0; i < lines.size(); i += 37) {
    const std::string next = lines[i].substr(0, lines[i].find('\t'));
    std::string rest;
    for (std::size_t k = i + 1; k < lines.size(); ++k) rest += lines[k];
    EXPECT_TRUE(Shell("$WALK --offsets -v --offset " + next + " $L").out == rest) << next;
  }
}

TEST_F(CollectWalk, EveryFailedWriteIsToldAndEndsTheWalkWithStatusOne) {
  std::string big;
  for (int i = 0; i < 200000; ++i) big += Record("/archive/file-" + std::to_string(i)) + "\n";
  WriteFile(Path("collect_1.lmf"), big);
  WriteFile(Path("stubs.txt"), "17,/data/a.txt:3\n17,/b:1\n");
  const std::string full = "collect-walk: write error: No space left on device\n";
  const std::string broken = "collect-walk: write error: Broken pipe\n";
  const ArgumentCase cases[] = {
      {"$WALK $L >/dev/full", 1, "", full},
      {"$WALK --range 0:100 $L >/dev/full", 1, "", full},
      {"$WALK --shards 2 $L >/dev/full", 1, "", full},
      {"$WALK --convert stubs.txt - comma >/dev/full", 1, "", full},
      {"$WALK --help >/dev/full", 1, "", full},
      {"$WALK --version >/dev/full", 1, "", full},
      // A reader that went away: told when SIGPIPE is ignored, quiet when not.
      {"trap '' PIPE; $WALK $L | head -1", 1, "/archive/file-0\n", broken},
      {"$WALK $L | head -1", 141, "/archive/file-0\n", "reusing existing collect file ./collect_1.lmf\n"},
  };
  for (const ArgumentCase& c : cases) {
    SCOPED_TRACE(c.line);
    const Outcome run = Shell(c.line);
    EXPECT_EQ(c.status, run.status);
    EXPECT_EQ(c.out, run.out);
    EXPECT_EQ(c.err, run.err.substr(run.err.size() - std::min(run.err.size(), c.err.size()))) << run.err;
    EXPECT_EQ(std::string::npos, run.err.find("records: ")) << "a summary after a failed write";
  }
}

TEST_F(CollectWalk, ConvertTakesDashForStandardInputAndOutputAndAppendsWhereOutputAppends) {
  WriteFile(Path("stubs.txt"), "17,/data/a.txt:3\n17,\n17,/b,c:9\n18\t/tab:1\n");
  const Outcome named = Shell("$WALK --convert stubs.txt paths.txt comma");
  ASSERT_EQ(0, named.status) << named.err;
  EXPECT_EQ("", named.out);  // data only, and the paths went to OUTPUT
  const std::string paths = ReadFile(Path("paths.txt"));
  EXPECT_EQ("/data/a.txt\n/b,c\n", paths);
  const Outcome dashes = Shell("echo kept >>more.txt; cat stubs.txt | $WALK --convert - - comma >>more.txt");
  EXPECT_EQ(0, dashes.status) << dashes.err;
  EXPECT_EQ("kept\n" + paths, ReadFile(Path("more.txt")));
  EXPECT_FALSE(std::filesystem::exists(Path("-")));
}

// Installed, the tool finds its sample from its own folder; no folder of
// the build is compiled in.
TEST_F(CollectWalk, SampleIsFoundFromTheProgramsFolderInAnyLayout) {
  for (const std::string bin : {"bin", "usr/bin"}) {
    SCOPED_TRACE(bin);
    const std::filesystem::path program = Path("prefix/" + bin + "/collect-walk");
    const std::filesystem::path sample = program.parent_path() / "../share/VivodStubCollectReader/sample";
    std::filesystem::create_directories(program.parent_path());
    std::filesystem::create_directories(sample);
    std::filesystem::copy_file(COLLECT_WALK, program);
    WriteFile(sample / "archived-files.lst", Path("list.lst") + "\n");
    const Outcome run = Shell("cd / && '" + program.string() + "'");
    EXPECT_EQ(0, run.status) << run.err;
    EXPECT_EQ(0u, run.out.find(Path("list.lst") + "\t")) << run.out;
    EXPECT_EQ(0u, run.err.find("sample: " + std::filesystem::weakly_canonical(sample).string())) << run.err;
  }
}

// SIGINT or SIGTERM while the index service writes the collect file, here
// held up by a FIFO for INPUT: the temporary goes, and the status tells the
// signal. Job control, so that the background walk does not ignore SIGINT.
TEST_F(CollectWalk, InterruptedLookupRemovesItsTemporary) {
  for (const auto& [signal, status] : {std::pair<std::string, int>{"INT", 130}, {"TERM", 143}}) {
    SCOPED_TRACE(signal);
    const Outcome run = Shell(
        "set -m; rm -f in.fifo; mkfifo in.fifo; $WALK in.fifo & exec 3>in.fifo\n"
        "for i in $(seq 400); do compgen -G '*.lmf.tmp' >/dev/null && break; sleep 0.05; done\n"
        "kill -" + signal + " $!; wait $!; s=$?; echo left $(compgen -G '*.lmf*' | wc -l); exit $s");
    EXPECT_EQ(status, run.status) << run.err;
    EXPECT_EQ("left 0\n", run.out);
    EXPECT_EQ(0u, run.err.find("collect-walk: interrupted; removed ./collect_1.")) << run.err;
  }
}

// On a terminal (which `script` makes and copies to its output) a walk to a
// pipe shows the line, and clears it; with standard error in the pipe, not.
TEST_F(CollectWalk, ProgressLineShowsOnATerminalAndIsClearedAtTheEnd) {
  if (std::system("command -v script >/dev/null") != 0) GTEST_SKIP() << "no script(1) to make a terminal";
  std::string big;
  for (int i = 0; i < 20000; ++i) big += Record("/archive/file-" + std::to_string(i)) + "\n";
  WriteFile(Path("collect_1.lmf"), big);
  // A reader that comes late holds the walk up past the tenth of a second
  // in which no line is drawn.
  const std::string reader = " | { sleep 0.3; wc -l; }";
  const Outcome watched = Shell("script -qec \"stty cols 40; $WALK $L" + reader + "\" /dev/null");
  EXPECT_EQ(0, watched.status) << watched.err;
  // Pieces after carriage returns, each within 39 columns, the last blanks.
  const std::size_t notes = watched.out.find("\r\n") + 2;  // after "reusing existing ..."
  const std::string screen = watched.out.substr(notes, watched.out.find("collect file: ") - notes);
  std::vector<std::string> pieces;
  for (std::size_t at = screen.find('\r'); at != std::string::npos; at = screen.find('\r', at + 1)) {
    pieces.push_back(screen.substr(at + 1, screen.find('\r', at + 1) - at - 1));
  }
  ASSERT_GE(pieces.size(), 3u) << screen;
  EXPECT_NE(std::string::npos, pieces[0].find(" %, ")) << pieces[0];
  for (const std::string& piece : pieces) EXPECT_LE(piece.size(), 39u) << piece;
  EXPECT_EQ(std::string::npos, pieces[pieces.size() - 2].find_first_not_of(' '));
  const Outcome merged = Shell("script -qec \"$WALK $L 2>&1" + reader + "\" /dev/null");
  EXPECT_EQ(std::string::npos, merged.out.find('\r', merged.out.find("\r\n") + 2)) << merged.out;
}

}  // namespace
