#include "ChildProcess.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <stdexcept>

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

std::string WithPeak(const std::string& report) {
  return report + "peak " + std::to_string(PeakRssKiB());
}

long TakePeak(std::vector<std::string>* lines) {
  if (lines->empty() || lines->back().rfind("peak ", 0) != 0) return -1;
  const long peak = std::stol(lines->back().substr(5));
  lines->pop_back();
  return peak;
}

std::string ShellQuote(const std::string& word) {
  std::string quoted = "'";
  for (const char c : word) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
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
