// collect-walk, the operator's tool, run as an operator runs it: through a
// shell, with its standard output and error caught in files.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
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

// A command line and what it gives.
struct Case {
  std::string line;
  int status;
  std::string out;  // how standard output begins
  std::string err;  // a part of standard error
};

class CollectWalk : public ::testing::Test {
 protected:
  // Runs the bash command `line` in the test's folder, with $WALK standing
  // for collect-walk (the program $WALK_FILE, after $EMULATOR in a cross
  // build) and $L for a list of archived files that exist.
  Outcome Shell(const std::string& line) {
    WriteFile(Path("list.lst"), Path("list.lst") + "\n");
    WriteFile(Path("run.sh"), "set -o pipefail\ncd '" + m_dir.path() + "'\nEMULATOR='" + EmulatorWords() +
                                  "'\nWALK_FILE='" COLLECT_WALK "'\nWALK=\"$EMULATOR $WALK_FILE\"\nL=list.lst\n{ " +
                                  line + "\n} >out 2>err\n");
    const CommandRun run = RunCommand("/bin/bash " + ShellQuote(Path("run.sh")));
    return {run.status, ReadFile(Path("out")), ReadFile(Path("err"))};
  }
  void Expect(const Case& c) {
    SCOPED_TRACE(c.line);
    const Outcome run = Shell(c.line);
    EXPECT_EQ(c.status, run.status) << run.err;
    EXPECT_EQ(0u, run.out.rfind(c.out, 0)) << run.out;
    EXPECT_NE(std::string::npos, run.err.find(c.err)) << run.err;
    EXPECT_TRUE(c.status != 2 || run.out.empty()) << run.out;
    EXPECT_TRUE(c.status != 1 || run.err.find("records: ") == std::string::npos) << "a summary of lost lines";
  }
  std::string Path(const std::string& name) const { return m_dir.File(name); }

  TempDir m_dir;
};

TEST_F(CollectWalk, ArgumentsAreTakenAsGetoptLongTakesThemWithTheStatusesThatHelpGives) {
  const std::string version = "collect-walk (VivodStubCollectReader) " VSCR_VERSION "\nBuilt against ";
  const std::string walkOption = "collect-walk: --convert takes no walk option such as --";
  const std::string bad = "\nTry 'collect-walk --help' for more information.\n";
  WriteFile(Path("-dash.lst"), "");
  const Case cases[] = {
      {"$WALK --help", 0, "Usage: collect-walk [OPTION]... INPUT\n", ""},
      {"$WALK -vh", 0, "Usage: collect-walk ", ""},
      {"$WALK --version", 0, version, ""},
      {"$WALK --vers", 0, version, ""},
      {"$WALK --work-dir=. --number=2 -- $L", 0, "", "records: 1, skipped: 0"},
      {"$WALK --work-dir . --prefix=p -- -dash.lst", 0, "", "note: "},
      {"$WALK --bogus $L", 2, "", "collect-walk: unrecognized option '--bogus'" + bad},
      {"$WALK --off=1 $L", 2, "", "option '--off=1' is ambiguous"},
      {"$WALK -x $L", 2, "", "invalid option -- 'x'" + bad},
      {"$WALK $L --work-dir", 2, "", "option '--work-dir' requires an argument" + bad},
      {"$WALK --number -1 $L", 2, "", "collect-walk: invalid value '-1' for --number" + bad},
      {"$WALK --number=4294967296 $L", 2, "", "for --number" + bad},
      {"$WALK --range 10:9 $L", 2, "", "for --range" + bad},
      {"$WALK --range=:10 $L", 2, "", "for --range" + bad},
      {"$WALK --shard 3/2 $L", 2, "", "for --shard" + bad},
      {"$WALK --shard=0/2 $L", 2, "", "for --shard" + bad},
      {"$WALK --shards 0 $L", 2, "", "for --shards" + bad},
      {"$WALK --shards 2 --range 0:10 $L", 2, "", "only one of --offset, --range, --shard and --shards" + bad},
      {"$WALK --field-count 4 $L", 2, "", "--field-count needs --fields" + bad},
      {"$WALK -v", 2, "", "no INPUT given" + bad},
      {"$WALK $L $L", 2, "", "only one INPUT" + bad},
      {"$WALK - <$L", 2, "", "INPUT cannot be \"-\": the index service reads it as a file" + bad},
      {"$WALK --convert $L out.txt", 2, "", "--convert takes INPUT OUTPUT DELIM" + bad},
      {"$WALK --convert $L out.txt ab", 2, "", "DELIM must be one character, tab, \\t or comma" + bad},
      {"$WALK --convert --offset=5 $L out.txt ,", 2, "", walkOption + "offset" + bad},
      {"$WALK -v --convert $L out.txt ,", 2, "", walkOption + "verbose" + bad},
      {"$WALK --convert $L out.txt , --work-dir=.", 2, "", walkOption + "work-dir" + bad},
      {"$WALK --version | tail -1", 0, "Copyright (C) ", ""},
      {"$WALK missing.lst", 1, "", "collect-walk: Initialize failed: Input file is empty or not present.\n"},
      {"$WALK --work-dir=absent $L", 1, "", "collect-walk: Initialize failed: "},
      // A conversion that fails before it opens the other end of a "-" ends
      // at once: the thread at that end does not wait for it, nor for more
      // of a standard input that is still open.
      {"$WALK --convert absent.txt - comma", 1, "", "Failed to open input file [absent.txt]."},
      {"rm -f held; mkfifo held; exec 3<>held; $WALK --convert - absent/out.txt comma <held", 1, "",
       "Failed to open output file [absent/out.txt]."},
  };
  for (const Case& c : cases) Expect(c);
}

TEST_F(CollectWalk, EveryWriteIsCheckedDashIsAStreamAndTheProgressLineFits) {
  std::string big;
  for (int i = 0; i < 200000; ++i) big += Record("/archive/file-" + std::to_string(i)) + "\n";
  WriteFile(Path("collect_1.lmf"), big);
  WriteFile(Path("stubs.txt"), "17,/data/a.txt:3\n17,\n17,/b,c:9\n18\t/tab:1\n");
  const std::string full = "collect-walk: write error: No space left on device\n";
  const std::string bad = "collect-walk: write error: Bad file descriptor\n";
  const Case cases[] = {
      {"$WALK $L >/dev/full", 1, "", full},
      {"$WALK --range 0:100 $L >/dev/full", 1, "", full},
      {"$WALK --shards 2 $L >/dev/full", 1, "", full},
      {"$WALK --convert stubs.txt - comma >/dev/full", 1, "", full},
      {"$WALK --help >/dev/full", 1, "", full},
      {"$WALK --version >/dev/full", 1, "", full},
      // A closed standard output or input that the tool needs is an error,
      // though /dev/null holds its place.
      {"$WALK --version >&-", 1, "", bad},
      {"$WALK --number 2 $L >&-; s=$?; test ! -e collect_2.lmf || s=9; exit $s", 1, "", bad},
      {"$WALK --shards 2 $L >&-", 1, "", bad},
      {"$WALK --convert stubs.txt - comma >&-", 1, "", bad},
      {"$WALK --convert - p.txt comma <&-", 1, "", "collect-walk: read error: Bad file descriptor\n"},
      {"$WALK --convert - - comma <stubs.txt >&-", 1, "", bad},
      {"$WALK --convert - - comma < /", 1, "", "collect-walk: read error: Is a directory\n"},
      // "-" is the descriptor where it stands: after what another process read.
      {"{ head -n1 >/dev/null; $WALK --convert - - comma; } <stubs.txt", 0, "/b,c\n", ""},
      // A reader that went away: told when SIGPIPE is ignored, quiet when not.
      {"trap '' PIPE; $WALK $L | head -1", 1, "/archive/file-0\n", "collect-walk: write error: Broken pipe\n"},
      {"$WALK $L | head -1", 141, "/archive/file-0\n", "reusing existing collect file ./collect_1.lmf\n"},
      // Nothing on standard output but data; closed descriptors do not let
      // the log (on standard error) into OUTPUT; "-" a stream, appended to.
      {"$WALK --convert stubs.txt p.txt comma <&- 2>&- && cat p.txt && echo .", 0, "/data/a.txt\n/b,c\n.\n", ""},
      {"echo kept >m; cat stubs.txt | $WALK --convert - - comma >>m && test ! -e ./- && cat m", 0,
       "kept\n/data/a.txt\n/b,c\n", ""},
      // On a terminal (which `script` makes) a walk to a pipe shows a line
      // that fits its 40 columns (" records" is in the summary too).
      {"script -qec \"stty cols 40; $WALK $L | { sleep 0.3; wc -l; }\" /dev/null | tr '\\r' '\\n' | "
       "awk '/ records/ {p++; if (length > 39) n++} END {print n + 0, (p > 0)}'", 0, "0 1\n", ""},
  };
  for (const Case& c : cases) Expect(c);
}

TEST_F(CollectWalk, SampleIsFoundFromTheProgramAndInterruptsLeaveNoTemporary) {
  WriteFile(Path("collect_1.lmf"), Record("/archive/file-0") + "\n");
  const std::string sample =
      std::filesystem::canonical(m_dir.path()).string() + "/p/share/VivodStubCollectReader/sample";
  // Waits for the lookup, held up by a FIFO for INPUT, to start its
  // temporary, then signals it; job control, so that SIGINT is not ignored.
  // Another job's temporary of the same collect file, by a process with the
  // same pid in another PID namespace, stays.
  const std::string interrupt =
      "set -m; rm -f in.fifo collect_2*; mkfifo in.fifo; $WALK --number 2 in.fifo & exec 3>in.fifo\n"
      "for i in $(seq 400); do compgen -G '*.lmf.tmp' >/dev/null && break; sleep 0.05; done\n"
      "touch collect_2.$!.0123456789abcdef.lmf.tmp\n"
      "kill -$SIGNAL $!; eval \"$AFTER\"; wait $!; s=$?; echo left $(compgen -G 'collect_2*' | wc -l); exit $s";
  const Case cases[] = {
      // The sample, found from the program's folder in any layout.
      // The copy finds the reader through the build's relative RUNPATH
      // ($ORIGIN/../../lib), so the build's lib folder stands beside p.
      {"mkdir -p p/bin " + sample + " && cp \"$WALK_FILE\" p/bin && ln -s \"${WALK_FILE%/*}/../../lib\" lib && cp $L " +
           sample + "/archived-files.lst && cd / && $EMULATOR \"$OLDPWD/p/bin/collect-walk\"",
       0, Path("list.lst") + "\t", "sample: " + sample + "/archived-files.lst\n"},
      {"SIGNAL=INT; " + interrupt, 130, "left 1\n", "collect-walk: interrupted; removed ./collect_2."},
      {"SIGNAL=TERM; " + interrupt, 143, "left 1\n", "collect-walk: interrupted; removed ./collect_2."},
      {"SIGNAL=HUP; " + interrupt, 129, "left 1\n", "collect-walk: interrupted; removed ./collect_2."},
      {"SIGNAL=QUIT; " + interrupt, 131, "left 1\n", "collect-walk: interrupted; removed ./collect_2."},
      // A signal ignored from the start (nohup) stays ignored: the lookup
      // ends and publishes the collect file.
      {"trap '' HUP; SIGNAL=HUP; AFTER='sleep 0.3; exec 3>&-;'; " + interrupt, 0, "left 2\n",
       "note: FetchIndexInfo returned emtpy file."},
      // The sample's folder goes too: its list a FIFO that holds up the lookup.
      {"mkdir -p q/bin q/share/VivodStubCollectReader/sample t && cp \"$WALK_FILE\" q/bin && "
       "ln -sfn \"${WALK_FILE%/*}/../../lib\" lib && mkfifo q/share/VivodStubCollectReader/sample/archived-files.lst\n"
       "set -m; TMPDIR=$PWD/t $EMULATOR q/bin/collect-walk & exec 3>q/share/VivodStubCollectReader/sample/archived-files.lst\n"
       "for i in $(seq 400); do compgen -G 't/*/*.lmf.tmp' >/dev/null && break; sleep 0.05; done\n"
       "kill -INT $!; wait $!; s=$?; echo left $(ls t | wc -l); exit $s",
       130, "left 0\n", "collect-walk: interrupted; removed " + Path("t/collect-walk.")},
  };
  for (const Case& c : cases) Expect(c);
}

// A socket on standard input, as inetd or systemd hand one over, is read
// as it stands.
TEST_F(CollectWalk, ConversionReadsASocketOnStandardInput) {
  int ends[2];
  ASSERT_EQ(0, ::socketpair(AF_UNIX, SOCK_STREAM, 0, ends));
  const std::string stubs = "17,/s/one:1\n17,/s/two\n";
  ASSERT_EQ(static_cast<ssize_t>(stubs.size()), ::write(ends[0], stubs.data(), stubs.size()));
  ::shutdown(ends[0], SHUT_WR);
  const Outcome run = Shell("$WALK --convert - - comma <&" + std::to_string(ends[1]));
  ::close(ends[0]);
  ::close(ends[1]);
  EXPECT_EQ(0, run.status) << run.err;
  EXPECT_EQ("/s/one\n/s/two\n", run.out);
}

// Every kind of line a range must carry across a cut, and a last line
// without a line feed; returns the file's size. The whole walk, with the
// next offset before each line, is checked against it.
uint64_t WriteMixedCollectFile(const std::string& path) {
  std::string file;
  for (int i = 0; i < 240; ++i) {
    const std::string n = std::to_string(i);
    const std::string kinds[] = {Record("/r-" + n), Record("/crlf-" + n) + "\r", "", "\r",
                                 "1,2,short-" + n, Record("\"/q," + n + " \\\"x\\\"\"")};
    file += kinds[i % 6] + (i + 1 < 240 ? "\n" : "");
  }
  WriteFile(path, file);
  return file.size();
}

TEST_F(CollectWalk, StandardOutputHoldsDataAloneAndResumingAtAPrintedOffsetGivesTheRest) {
  const uint64_t size = WriteMixedCollectFile(Path("collect_1.lmf"));
  const Outcome whole = Shell("$WALK --offsets -v $L");
  EXPECT_EQ("reusing existing collect file ./collect_1.lmf\ncollect file: ./collect_1.lmf\n"
            "records: 120, skipped: 120, next offset: " + std::to_string(size) + "\n", whole.err);
  const std::vector<std::string> lines = Lines(whole.out);
  ASSERT_EQ(240u, lines.size());
  EXPECT_EQ("skipped: Retreived empty line from collect file collect_1.lmf",
            lines[2].substr(lines[2].find('\t') + 1));
  // Resumed at the offset printed with a line: the rest of the walk after it.
  for (std::size_t i = 0; i < lines.size(); i += 37) {
    std::string rest;
    for (std::size_t k = i + 1; k < lines.size(); ++k) rest += lines[k] + "\n";
    const std::string next = lines[i].substr(0, lines[i].find('\t'));
    EXPECT_TRUE(Shell("$WALK --offsets -v --offset " + next + " $L").out == rest) << next;
  }
}

TEST_F(CollectWalk, RangesOfAnyCutPutTogetherGiveTheWholeWalkByteForByte) {
  const uint64_t size = WriteMixedCollectFile(Path("collect_1.lmf"));
  const Outcome whole = Shell("$WALK --offsets -v $L");
  const std::string file = ReadFile(Path("collect_1.lmf"));
  // The cuts that --shards prints, cuts inside a CRLF pair, twice at one
  // point and past the end, and cuts at random.
  std::vector<std::vector<uint64_t>> cutSets(1, {0});
  for (const std::string& line : Lines(Shell("$WALK --shards 3 $L").out)) {
    cutSets[0].push_back(std::stoull(line.substr(line.find(' ') + 1)));
  }
  EXPECT_EQ((std::vector<uint64_t>{0, size / 3, size * 2 / 3, size}), cutSets[0]);
  const uint64_t crlf = file.find("\r\n") + 1;
  cutSets.push_back({0, crlf, crlf, size + 9});
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
    EXPECT_TRUE(Shell(command).out == whole.out) << command;
  }
  EXPECT_TRUE(Shell("for i in 1 2 3; do $WALK --offsets -v --shard $i/3 $L; done").out == whole.out);
}

}  // namespace
