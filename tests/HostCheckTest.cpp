// vscr-host-check run against host libraries whose destructors write past
// their objects (tests/host-check/DestructorOverrun.cpp, preloaded): every
// check that destroys an object of that class must fail and name the
// class, and every other check must hold. Against a host call that never
// returns, and without the host libraries at all, it still gives a verdict.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "ChildProcess.h"
#include "EvDebug.h"
#include "FetchIndexInfo.h"
#include "KaString.h"
#include "TestFiles.h"

namespace {

struct CheckRun {
  int status;  // -1 when it did not exit
  std::string out;
  std::vector<std::string> lines;
};

// vscr-host-check with `arguments` (shell words and redirections).
CheckRun HostCheck(const std::string& arguments, const std::string& environment = "") {
  const CommandRun run = RunCommand(environment + " " + ProgramCommand(VSCR_HOST_CHECK) + " " + arguments);
  return {run.status, run.out, Lines(run.out)};
}

// With the overrunning destructors preloaded; `overrun` names the class
// whose destructor writes past its object, or is empty.
CheckRun WithOverrun(const std::string& overrun) {
  return HostCheck("2>/dev/null", "VSCR_OVERRUN_CLASS=" + overrun +
                                      " LD_PRELOAD=" VSCR_DESTRUCTOR_OVERRUN);
}

struct OverrunCase {
  std::string className;
  std::string library;
  std::string header;
  std::size_t size;
  std::vector<std::string> checksUsingIt;  // how their lines begin
};

bool UsesIt(const std::string& check, const OverrunCase& c) {
  for (const std::string& start : c.checksUsingIt) {
    if (check.rfind(start, 0) == 0) return true;
  }
  return false;
}

TEST(HostCheck, GuardBandIsReadAgainAfterEveryHostObjectIsDestroyed) {
  const CheckRun clean = WithOverrun("");
  ASSERT_EQ(0, clean.status);
  ASSERT_GT(clean.lines.size(), 4u);
  const std::size_t checks = clean.lines.size() - 1;
  EXPECT_EQ("host contract: " + std::to_string(checks) + " of " + std::to_string(checks) +
                " hold",
            clean.lines.back());

  const OverrunCase cases[] = {
      {"CKaString", "libKaUtils", "KaString.h", sizeof(CKaString), {"Tokenize:", "GetString:"}},
      {"CKaStringArray", "libKaUtils", "KaString.h", sizeof(CKaStringArray),
       {"Tokenize:", "GetString:"}},
      {"EvDebug", "libDivorar", "EvDebug.h", sizeof(EvDebug), {"EvDebug("}},
      {"FetchIndexInfo", "libLmLib", "FetchIndexInfo.h", sizeof(FetchIndexInfo),
       {"FetchIndexInfo:"}},
  };
  for (const OverrunCase& c : cases) {
    SCOPED_TRACE(c.className);
    const CheckRun run = WithOverrun(c.className);
    EXPECT_EQ(1, run.status);
    ASSERT_EQ(clean.lines.size(), run.lines.size());
    const std::string report = c.library + " wrote 1 bytes past the " + std::to_string(c.size) +
                               " bytes that " + c.header + " gives " + c.className + ":";
    std::size_t failing = 0;
    for (std::size_t i = 0; i < checks; ++i) {
      const std::string check = clean.lines[i].substr(7);  // after "holds  "
      if (UsesIt(check, c)) {
        ++failing;
        EXPECT_EQ(0u, run.lines[i].rfind("FAILS  " + check + ": " + report, 0)) << run.lines[i];
      } else {
        EXPECT_EQ(clean.lines[i], run.lines[i]);
      }
    }
    EXPECT_GT(failing, 0u);
    EXPECT_EQ("host contract: " + std::to_string(checks - failing) + " of " +
                  std::to_string(checks) + " hold",
              run.lines.back());
  }
}

// --help and --version alone; any other argument is refused with 2 and runs
// no check.
TEST(HostCheck, TakesHelpAndVersionAndRefusesAnyOtherArgument) {
  const std::pair<std::string, int> cases[] = {
      {"--help", 0}, {"-h", 0}, {"--he", 0}, {"--version", 0}, {"--bogus", 2},
      {"x", 2}, {"-x", 2}, {"--help x", 2}, {"--help --version", 2}, {"-- x", 2}, {"--help=1", 2},
  };
  for (const auto& [arguments, status] : cases) {
    SCOPED_TRACE(arguments);
    const CheckRun run = HostCheck(arguments + " 2>&1");
    EXPECT_EQ(status, run.status);
    EXPECT_EQ(std::string::npos, run.out.find("holds  ")) << run.out;  // no check ran
    const std::string begins = status == 2                       ? "vscr-host-check: unexpected argument '"
                               : arguments.find('v') == 2 ? "vscr-host-check (VivodStubCollectReader) "
                                                                 : "Usage: vscr-host-check";
    EXPECT_EQ(0u, run.out.rfind(begins, 0)) << run.out;
  }
  EXPECT_EQ(1, HostCheck("--version >/dev/full 2>/dev/null").status);
  const CheckRun closed = HostCheck("--version 2>&1 >&-");
  EXPECT_EQ(1, closed.status);
  EXPECT_EQ("vscr-host-check: write error: Bad file descriptor\n", closed.out);
  for (const char* limit : {"--time-limit=0", "-t x", "--time-limit=", "-t -1"}) {
    EXPECT_EQ(2, HostCheck(std::string(limit) + " 2>/dev/null").status) << limit;
  }
}

// A host call that never returns fails its own check within the time limit;
// the checks before and after it still run.
TEST(HostCheck, ACallThatNeverReturnsFailsItsCheckAndTheVerdictStillComes) {
  const CheckRun clean = HostCheck("2>/dev/null");
  const CheckRun run = HostCheck("--time-limit=1 2>/dev/null", "LD_PRELOAD=" VSCR_HANGING_CONSTRUCTOR);
  EXPECT_EQ(1, run.status);
  ASSERT_EQ(clean.lines.size(), run.lines.size());
  for (std::size_t i = 0; i + 1 < run.lines.size(); ++i) {
    const bool hangs = clean.lines[i].find("holds  FetchIndexInfo:") == 0;
    EXPECT_EQ(hangs ? "FAILS  " + clean.lines[i].substr(7) + ": did not return within 1 s" : clean.lines[i],
              run.lines[i]);
  }
  const std::size_t checks = clean.lines.size() - 1;
  EXPECT_EQ("host contract: " + std::to_string(checks - 1) + " of " + std::to_string(checks) + " hold",
            run.lines.back());
}

// Copied away from its libraries, it starts, names each host library that
// does not load with where it looked, and --help and --version work.
TEST(HostCheck, StartsWithoutTheHostLibrariesAndNamesEachMissingOne) {
  const TempDir dir;
  const std::string copy = dir.File("vscr-host-check");
  std::filesystem::copy_file(VSCR_HOST_CHECK, copy);
  const CommandRun run = RunCommand(ProgramCommand(copy) + " 2>/dev/null");
  EXPECT_EQ(1, run.status);
  const std::vector<std::string> lines = Lines(run.out);
  ASSERT_EQ(5u, lines.size()) << run.out;
  for (std::size_t i = 0; i < 3; ++i) {
    const std::string soname = lines[i].substr(7, lines[i].find(' ', 7) - 7);
    EXPECT_EQ(0u, lines[i].rfind("FAILS  " + soname + " loads: " + soname + ": cannot open shared object file", 0))
        << lines[i];
    EXPECT_NE(std::string::npos, lines[i].find("; looked in " + dir.path() + "/")) << lines[i];
    EXPECT_NE(std::string::npos, lines[i].find("LD_LIBRARY_PATH")) << lines[i];
  }
  EXPECT_EQ("FAILS  the checks load (vscr-host-check-probes.so): they need the host libraries above", lines[3]);
  EXPECT_EQ("host contract: 0 of 4 hold", lines[4]);
  EXPECT_EQ(0, RunCommand(ProgramCommand(copy) + " --help >/dev/null").status);
  EXPECT_EQ(0u, RunCommand(ProgramCommand(copy) + " --version").out.rfind("vscr-host-check (VivodStubCollectReader) ", 0));
}

}  // namespace
