#include "ChildProcess.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <stdexcept>

#include "TestFiles.h"

namespace {

void WriteReport(int fd, const std::string& report) {
  for (std::size_t done = 0; done < report.size();) {
    const ssize_t n = ::write(fd, report.data() + done, report.size() - done);
    if (n <= 0) ::_exit(121);
    done += static_cast<std::size_t>(n);
  }
}

}  // namespace

ChildRun RunInChild(const std::function<std::string()>& body) {
  int fds[2];
  if (::pipe(fds) != 0) throw std::runtime_error("pipe failed");
  const pid_t pid = ::fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    ::close(fds[0]);
    std::string report;
    try {
      report = body();
    } catch (...) {
      ::_exit(120);
    }
    WriteReport(fds[1], report);
    ::_exit(0);
  }
  ::close(fds[1]);
  ChildRun run{pid, 0, std::string()};
  char buffer[4096];
  for (ssize_t n; (n = ::read(fds[0], buffer, sizeof buffer)) > 0;) {
    run.report.append(buffer, static_cast<std::size_t>(n));
  }
  ::close(fds[0]);
  ::waitpid(pid, &run.status, 0);
  return run;
}

bool ExitedWith(int status, int code) { return WIFEXITED(status) && WEXITSTATUS(status) == code; }

long PeakRssKiB() {
  struct rusage usage {};
  ::getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

std::vector<std::string> ReportAndPeakOfChild(const std::function<std::string()>& body,
                                              long* peakKiB) {
  const ChildRun child = RunInChild([&] { return body() + "\n" + std::to_string(PeakRssKiB()); });
  if (!ExitedWith(child.status, 0)) {
    throw std::runtime_error("child exited with status " + std::to_string(child.status));
  }
  const std::size_t cut = child.report.rfind('\n');
  *peakKiB = std::stol(child.report.substr(cut + 1));
  return Lines(child.report.substr(0, cut));
}

std::string ShellQuote(const std::string& word) {
  std::string quoted = "'";
  for (const char c : word) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

std::string EmulatorWords() { return VSCR_EMULATOR; }

std::string ProgramCommand(const std::string& program) {
  const std::string emulator = EmulatorWords();
  return (emulator.empty() ? "" : emulator + " ") + ShellQuote(program);
}

CommandRun RunCommand(const std::string& command) {
  FILE* const pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) throw std::runtime_error("cannot run " + command);
  CommandRun run{-1, std::string()};
  char buffer[4096];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) run.out.append(buffer, n);
  const int status = ::pclose(pipe);
  if (WIFEXITED(status)) run.status = WEXITSTATUS(status);
  return run;
}
