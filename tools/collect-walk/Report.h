// How collect-walk ends: its exit status, and the lines it writes to
// standard error when something fails.
#ifndef TOOLS_COLLECT_WALK_REPORT_H_
#define TOOLS_COLLECT_WALK_REPORT_H_

#include <string>

class VivodStubCollectReader;

constexpr char kProgram[] = "collect-walk";

// The exit status of collect-walk, as its help text documents it.
enum ExitStatus : int {
  kExitDone = 0,
  kExitLibraryFailure = 1,
  kExitBadArguments = 2,
};

// "collect-walk: <operation> failed: <m_lastError>"; returns
// kExitLibraryFailure.
int Failed(const char* operation, const VivodStubCollectReader& reader);

// "collect-walk: <problem>".
void Complain(const std::string& problem);

#endif  // TOOLS_COLLECT_WALK_REPORT_H_
