// Standard output with every write checked, the conversion (whose "-" for
// OUTPUT is checked here too), and the temporaries of an interrupted lookup.
#include <fcntl.h>
#include <pthread.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <thread>

#include "CollectWalk.h"
#include "VivodStubCollectReader.h"

namespace {

int g_writeError = 0;  // errno of the first failed write to standard output
std::string g_stem;    // work dir and prefix of the collect file being made
sigset_t g_watched;

// Copies the library's output from the pipe `fd` to standard output. After a
// failed write the rest is dropped: a pipe nobody reads would end the
// library's writes with SIGPIPE, and a full disk look like a broken pipe.
void Relay(int fd) {
  char block[64 * 1024];
  for (ssize_t got; (got = ::read(fd, block, sizeof block)) != 0;) {
    for (ssize_t done = 0, n = 0; done < got && g_writeError == 0; done += n > 0 ? n : 0) {
      n = ::write(STDOUT_FILENO, block + done, static_cast<std::size_t>(got - done));
      if (n < 0 && errno != EINTR) g_writeError = errno;
    }
    if (got < 0 && errno != EINTR) return;
  }
}

// "<stem>.<pid>.<random>.lmf.tmp" with our pid; the library may shorten the
// stem to fit, so it need only agree with the prefix as far as both go.
bool StartedHere(const std::string& name, const std::string& prefix) {
  const std::size_t pid = name.rfind("." + std::to_string(::getpid()) + ".");
  const std::size_t common = std::min(pid, prefix.size());
  return pid != std::string::npos && name.size() > 8 &&
         name.compare(name.size() - 8, 8, ".lmf.tmp") == 0 &&
         name.compare(0, common, prefix, 0, common) == 0;
}

// On a thread of its own, as no handler may do this: waits for a watched
// signal, removes the temporaries and ends the process by that signal.
void RemoveAndEnd() {
  int signal = 0;
  if (::sigwait(&g_watched, &signal) != 0) return;
  const std::filesystem::path stem(g_stem);
  std::error_code error;
  for (std::filesystem::directory_iterator entry(stem.parent_path(), error), end;
       !error && entry != end; entry.increment(error)) {
    if (StartedHere(entry->path().filename().string(), stem.filename().string()) &&
        ::unlink(entry->path().c_str()) == 0) {
      WriteToStandardError("collect-walk: interrupted; removed " + entry->path().string() + "\n");
    }
  }
  std::signal(signal, SIG_DFL);
  ::pthread_sigmask(SIG_UNBLOCK, &g_watched, nullptr);
  std::raise(signal);
  ::_exit(128 + signal);
}

}  // namespace

void Complain(const std::string& problem) { std::cerr << "collect-walk: " << problem << '\n'; }

bool OutputHolds() {
  if (g_writeError == 0 && !std::cout) g_writeError = errno != 0 ? errno : EIO;
  return g_writeError == 0;
}

int FinishOutput(int status) {
  std::cout.flush();
  if (OutputHolds() && ::close(STDOUT_FILENO) != 0 && errno != EINTR) g_writeError = errno;
  if (g_writeError == 0) return status;
  Complain(std::string("write error: ") + std::strerror(g_writeError));
  return kExitFailure;
}

bool OpenClosedStandardDescriptors() {
  bool open = true;  // the lower numbers are open by now, so open() takes `fd` itself
  for (int fd = 0; fd <= 2; ++fd) {
    if (::fcntl(fd, F_GETFD) == -1 && errno == EBADF) open = ::open("/dev/null", O_RDWR) == fd && open;
  }
  return open;
}

void RemoveTemporariesOnInterrupt(const std::string& stem) {
  if (!g_stem.empty()) return;
  g_stem = stem;
  ::sigemptyset(&g_watched);
  for (const int signal : {SIGINT, SIGTERM}) {
    struct sigaction action {};  // one ignored when we started stays ignored
    if (::sigaction(signal, nullptr, &action) == 0 && action.sa_handler != SIG_IGN) {
      ::sigaddset(&g_watched, signal);
    }
  }
  // Blocked before the thread starts, and so in every thread after.
  if (!::sigisemptyset(&g_watched) && ::pthread_sigmask(SIG_BLOCK, &g_watched, nullptr) == 0) {
    std::thread(RemoveAndEnd).detach();
  }
}

int Convert(const std::string& input, const std::string& output, char delimiter) {
  // Given /dev/stdout, the library would open it afresh and truncate it,
  // emptying a file that our standard output appends to: a pipe it is.
  int pipe[2] = {-1, -1};
  if (output == "-" && ::pipe2(pipe, O_CLOEXEC) != 0) return (Complain("pipe failed"), kExitFailure);
  std::thread relay;
  if (output == "-") relay = std::thread(Relay, pipe[0]);
  VivodStubCollectReader reader{VivodStubCollectReaderInitArgs{}};
  const bool converted = reader.ProcessStubCollectFile(
      input == "-" ? "/dev/stdin" : input,
      output == "-" ? "/dev/fd/" + std::to_string(pipe[1]) : output, delimiter);
  if (relay.joinable()) {
    ::close(pipe[1]);  // the end of the library's output
    relay.join();
    ::close(pipe[0]);
  }
  if (converted) return kExitDone;
  Complain("ProcessStubCollectFile failed: " + reader.m_lastError);
  return kExitFailure;
}
