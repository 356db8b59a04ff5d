// Work that needs a process of its own: a peak memory measurement, or code
// that may end the process. The work runs in a forked child, which hands a
// report back to the parent through a pipe.
#ifndef TESTSUPPORT_CHILDPROCESS_H_
#define TESTSUPPORT_CHILDPROCESS_H_

#include <sys/types.h>

#include <functional>
#include <string>

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

#endif  // TESTSUPPORT_CHILDPROCESS_H_
