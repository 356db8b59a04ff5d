// Between vscr-host-check and its checks module, which links the host's
// libraries: the program loads the module with dlopen in a child process,
// so that it starts, and tells what is missing, without them.
#ifndef TOOLS_HOST_CHECK_HOSTCHECKS_H_
#define TOOLS_HOST_CHECK_HOSTCHECKS_H_

#include <cstddef>
#include <string>

struct HostCheckOutcome {
  bool holds;
  std::string detail;  // why it does not hold
};

struct HostCheck {
  const char* what;
  HostCheckOutcome (*run)();
};

// The module's file name, found through the program's RUNPATH, and the
// function it exports: the checks, `*count` of them.
constexpr char kHostChecksModule[] = "vscr-host-check-probes.so";
constexpr char kHostChecksFunction[] = "VscrHostChecks";
extern "C" const HostCheck* VscrHostChecks(std::size_t* count);

#endif  // TOOLS_HOST_CHECK_HOSTCHECKS_H_
