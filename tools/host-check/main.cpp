// vscr-host-check: does this set of host libraries give the reader what it
// relies on? First each host library is loaded, as the reader would load it,
// then each check of the checks module (HostChecks.cpp) runs; one line per
// check, then "host contract: N of M hold". The exit status is 0 only when
// all hold.
//
// Everything that touches the host's libraries runs in a child process of
// its own, within a time limit: a missing library, a crash, a sanitizer
// report or a call that never returns fails that check, and the others
// still run.
#include <dlfcn.h>
#include <fcntl.h>
#include <getopt.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <functional>
#include <iostream>
#include <string>
#include <vector>

#include "HostChecks.h"
#include "ToolCore.h"

namespace {

using vscr_tool::kExitBadArguments;
using vscr_tool::kExitDone;
using vscr_tool::kExitFailure;
using Outcome = HostCheckOutcome;
using Clock = std::chrono::steady_clock;

constexpr char kProgram[] = "vscr-host-check";
constexpr unsigned kDefaultTimeLimit = 10;  // seconds
constexpr std::size_t kMaxDetail = 4096;     // bytes of a failing check's report

// What a child hands back: its outcome's detail, and its exit status.
Outcome RunChild(const std::function<Outcome()>& body, unsigned timeLimit) {
  int pipeFds[2];
  if (::pipe2(pipeFds, O_CLOEXEC) != 0) return {false, "cannot make a pipe"};
  std::cout.flush();
  const pid_t child = ::fork();
  if (child < 0) return {false, "cannot start a child process"};
  if (child == 0) {
    ::close(pipeFds[0]);
    Outcome outcome{false, "threw an exception"};
    try {
      outcome = body();
    } catch (const std::exception& error) {
      outcome.detail = std::string("threw ") + error.what();
    } catch (...) {
    }
    const ssize_t written = ::write(pipeFds[1], outcome.detail.data(), outcome.detail.size());
    ::_exit(outcome.holds && written >= 0 ? 0 : 1);
  }
  ::close(pipeFds[1]);
  std::string detail;
  const Clock::time_point deadline = Clock::now() + std::chrono::seconds(timeLimit);
  bool timedOut = false;
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    pollfd wait{pipeFds[0], POLLIN, 0};
    const int ready = left.count() > 0 ? ::poll(&wait, 1, static_cast<int>(left.count())) : 0;
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) {
      timedOut = true;
      break;
    }
    // A report is kept to one line's worth; the rest is read and dropped,
    // so that the child never waits on a full pipe.
    char buffer[512];
    const std::size_t room = kMaxDetail - std::min(kMaxDetail, detail.size());
    const ssize_t n = ::read(pipeFds[0], buffer, room > 0 ? std::min(room, sizeof buffer) : sizeof buffer);
    if (n <= 0) break;  // the child's end closed: it has ended
    detail.append(buffer, std::min(room, static_cast<std::size_t>(n)));
  }
  ::close(pipeFds[0]);
  if (timedOut) ::kill(child, SIGKILL);
  int status = 0;
  while (::waitpid(child, &status, 0) != child) {
    if (errno != EINTR) return {false, "lost its child process"};
  }
  if (timedOut) return {false, "did not return within " + std::to_string(timeLimit) + " s"};
  if (WIFSIGNALED(status)) {
    char text[128];  // a signal's name is short
    std::snprintf(text, sizeof text, "stopped by signal %d (%s)", WTERMSIG(status), strsignal(WTERMSIG(status)));
    return {false, text};
  }
  if (WEXITSTATUS(status) == 0) return {true, std::string()};
  if (detail.empty()) detail = "exited with status " + std::to_string(WEXITSTATUS(status));
  return {false, detail};
}

// Where the loader looks for a library that this program loads: the
// folders of LD_LIBRARY_PATH, of our RUNPATH and of the system, in order.
std::string SearchPath() {
  void* const self = ::dlopen(nullptr, RTLD_NOW);
  Dl_serinfo size{};
  if (self == nullptr || ::dlinfo(self, RTLD_DI_SERINFOSIZE, &size) != 0) return "unknown";
  std::vector<unsigned char> block(size.dls_size);
  auto* const info = reinterpret_cast<Dl_serinfo*>(block.data());
  *info = size;
  if (::dlinfo(self, RTLD_DI_SERINFO, info) != 0) return "unknown";
  std::string folders;
  for (unsigned i = 0; i < info->dls_cnt; ++i) {
    folders += (i > 0 ? ":" : "") + std::string(info->dls_serpath[i].dls_name);
  }
  return folders;
}

// Whether the host library `soname` loads, with what it needs.
Outcome Loads(const std::string& soname) {
  if (::dlopen(soname.c_str(), RTLD_NOW | RTLD_LOCAL) != nullptr) return {true, std::string()};
  const std::string error = ::dlerror();  // before SearchPath's calls replace it
  return {false, error + "; looked in " + SearchPath() +
                     "; put the host's libraries into one of these folders (a host SDK's lib "
                     "folder, or Base64 beside the reader's folder), or name their folder in "
                     "LD_LIBRARY_PATH"};
}

// Global, as the host libraries are in the reader's host: a library
// preloaded in front of them finds theirs behind it with RTLD_NEXT.
const HostCheck* LoadChecks(std::size_t* count, std::string* problem) {
  void* const module = ::dlopen(kHostChecksModule, RTLD_NOW | RTLD_GLOBAL);
  const auto checks = module == nullptr ? nullptr
      : reinterpret_cast<decltype(&VscrHostChecks)>(::dlsym(module, kHostChecksFunction));
  if (checks == nullptr) {
    *problem = ::dlerror();
    return nullptr;
  }
  return checks(count);
}

// The checks' names, read by a child: with a library missing, the module
// would not load here either.
Outcome CheckNames(std::vector<std::string>* names, unsigned timeLimit) {
  int pipeFds[2];
  if (::pipe2(pipeFds, O_CLOEXEC) != 0) return {false, "cannot make a pipe"};
  const Outcome listed = RunChild([&] {
    std::string problem;
    std::size_t count = 0;
    const HostCheck* const checks = LoadChecks(&count, &problem);
    std::string text;
    for (std::size_t i = 0; checks != nullptr && i < count; ++i) text += std::string(checks[i].what) + '\n';
    const bool sent = ::write(pipeFds[1], text.data(), text.size()) == static_cast<ssize_t>(text.size());
    return Outcome{checks != nullptr && sent, problem};
  }, timeLimit);
  ::close(pipeFds[1]);
  std::string text;
  char buffer[4096];
  for (ssize_t n; listed.holds && (n = ::read(pipeFds[0], buffer, sizeof buffer)) > 0;) {
    text.append(buffer, static_cast<std::size_t>(n));
  }
  ::close(pipeFds[0]);
  for (std::size_t at = 0, end; (end = text.find('\n', at)) != std::string::npos; at = end + 1) {
    names->push_back(text.substr(at, end - at));
  }
  return listed;
}

Outcome RunCheck(std::size_t index) {
  std::string problem;
  std::size_t count = 0;
  const HostCheck* const checks = LoadChecks(&count, &problem);
  if (checks == nullptr || index >= count) return {false, "the checks module changed: " + problem};
  return checks[index].run();
}

// Prints one line per check and the verdict; returns whether all hold.
class Report {
 public:
  void Line(const std::string& what, const Outcome& outcome) {
    ++m_total;
    m_holding += outcome.holds ? 1 : 0;
    std::cout << (outcome.holds ? "holds  " : "FAILS  ") << what << (outcome.holds ? "" : ": ")
              << outcome.detail << '\n';
  }
  bool Verdict() {
    std::cout << "host contract: " << m_holding << " of " << m_total << " hold\n";
    return m_holding == m_total;
  }

 private:
  int m_holding = 0;
  int m_total = 0;
};

int RunChecks(vscr_tool::CheckedOutput& output, unsigned timeLimit) {
  if (!output.Holds()) return output.Finish(kExitFailure);
  Report report;
  bool loaded = true;
  const std::string sonames = VSCR_HOST_SONAMES;
  for (std::size_t at = 0, end = 0; end != std::string::npos; at = end + 1) {
    end = sonames.find(',', at);
    const std::string soname = sonames.substr(at, end - at);
    const Outcome outcome = RunChild([&] { return Loads(soname); }, timeLimit);
    loaded = loaded && outcome.holds;
    report.Line(soname + " loads", outcome);
  }
  std::vector<std::string> names;
  const Outcome listed = CheckNames(&names, timeLimit);
  if (!listed.holds) {
    report.Line(std::string("the checks load (") + kHostChecksModule + ")",
                loaded ? listed : Outcome{false, "they need the host libraries above"});
  }
  for (std::size_t i = 0; i < names.size(); ++i) {
    report.Line(names[i], RunChild([i] { return RunCheck(i); }, timeLimit));
  }
  return output.Finish(report.Verdict() ? kExitDone : kExitFailure);
}

constexpr char kHelp[] = R"(Usage: vscr-host-check [OPTION]
Check that the host libraries the loader finds (libKaUtils, libLmLib and
libDivorar) give libVivodStubCollectReader what it relies on: load each as
the reader would, then call them as the reader does, each check in a child
process of its own, and print one line per check ("holds" or "FAILS" and
why), then "host contract: N of M hold". A library that does not load is
named with the folders the loader looked in; a class larger than the header
this build uses says so; a check that does not end within the time limit
fails.

  -t, --time-limit=SECONDS  time limit of each check (default: 10)
  -h, --help                print this help and exit
      --version             print the version and exit

The exit status is 0 when every check holds, 1 when a check fails or on a
write error, and 2 for bad arguments.
)";

int Refuse(const std::string& problem) {
  vscr_tool::Complain(kProgram, problem);
  std::cerr << "Try 'vscr-host-check --help' for more information.\n";
  return kExitBadArguments;
}

}  // namespace

int main(int argc, char** argv) {
  const vscr_tool::StandardDescriptors descriptors = vscr_tool::HoldStandardDescriptors();
  if (!descriptors.held) return kExitFailure;
  vscr_tool::CheckedOutput output(kProgram, descriptors);
  std::ios::sync_with_stdio(false);
  std::cerr.tie(nullptr);
  const option options[] = {{"help", 0, nullptr, 'h'}, {"version", 0, nullptr, 'V'},
                            {"time-limit", 1, nullptr, 't'}, {nullptr, 0, nullptr, 0}};
  opterr = 0;
  int asked = 0;  // 'h' or 'V', which stand alone
  unsigned timeLimit = kDefaultTimeLimit;
  int given = 0;
  for (int id; (id = getopt_long(argc, argv, "ht:", options, nullptr)) != -1; ++given) {
    if (id == '?' || asked != 0 || (id != 't' && given > 0)) {
      return Refuse("unexpected argument '" + std::string(argv[optind - 1]) + "'");
    }
    if (id == 't') {
      char* end = nullptr;
      const unsigned long seconds = std::strtoul(optarg, &end, 10);
      if (*optarg < '0' || *optarg > '9' || *end != '\0' || seconds == 0 || seconds > 86400) {
        return Refuse("invalid time limit '" + std::string(optarg) + "'");
      }
      timeLimit = static_cast<unsigned>(seconds);
    }
    if (id != 't') asked = id;
  }
  if (optind < argc) return Refuse("unexpected argument '" + std::string(argv[optind]) + "'");
  if (asked == 'h') return output.Finish((std::cout << kHelp, kExitDone));
  if (asked == 'V') {
    std::cout << "vscr-host-check (VivodStubCollectReader) " VSCR_VERSION "\nBuilt against "
                 VSCR_HOST_LIBRARIES ".\n\n" VSCR_COPYRIGHT "\n";
    return output.Finish(kExitDone);
  }
  return RunChecks(output, timeLimit);
}
