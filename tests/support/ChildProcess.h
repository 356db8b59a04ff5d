// Work that needs a process of its own: a peak memory measurement, or code
// that may end the process, run in a forked child that hands a report back
// through a pipe; and programs run through the shell.
#ifndef TESTS_SUPPORT_CHILDPROCESS_H_
#define TESTS_SUPPORT_CHILDPROCESS_H_

#include <sys/types.h>

#include <functional>
#include <string>
#include <vector>

struct ChildRun {
  pid_t pid;
  int status;          // as waitpid gives it
  std::string report;  // what the child's body returned
};

// Runs `body` in a forked child, which exits with 0 after handing the text
// that `body` returns to the parent, or with 120 when `body` throws.
// Throws std::runtime_error when no child can be started.
ChildRun RunInChild(const std::function<std::string()>& body);

// Whether `status` (as waitpid gives it) tells a normal exit with `code`.
bool ExitedWith(int status, int code);

// The peak resident set size of this process so far, in KiB.
long PeakRssKiB();
// Runs `body` in a child as RunInChild does; returns the lines of the text
// it returned, and the child's peak RSS in KiB in `peakKiB`. Throws
// std::runtime_error when the child does not exit with 0.
std::vector<std::string> ReportAndPeakOfChild(const std::function<std::string()>& body,
                                              long* peakKiB);

// `word` in single quotes for a POSIX shell, its own single quotes kept.
std::string ShellQuote(const std::string& word);

struct CommandRun {
  int status;       // the exit status; -1 when the command did not exit
  std::string out;  // its standard output
};

// The words that start a program of this build on this machine: in a
// cross build the build's emulator (CMAKE_CROSSCOMPILING_EMULATOR), as CTest
// starts the test programs themselves; empty in a native build.
std::string EmulatorWords();

// A program of this build as the start of a shell command: its quoted path,
// after the emulator's words in a cross build.
std::string ProgramCommand(const std::string& program);

// Runs `command` through /bin/sh and collects its standard output.
// Throws std::runtime_error when no shell can be started.
CommandRun RunCommand(const std::string& command);

#endif  // TESTS_SUPPORT_CHILDPROCESS_H_
