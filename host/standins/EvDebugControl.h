// Test controls of the EvDebug stand-in (libDivorar). The host's own library
// has none of this; only our tests and tools use it.
#ifndef HOST_STANDINS_EVDEBUGCONTROL_H_
#define HOST_STANDINS_EVDEBUGCONTROL_H_

#include <string>
#include <vector>

namespace standin {

// One event of an EvDebug object. `kind` is "construct" (with
// `nullInstance`), "line" (with `function`, `level` and the formatted
// `message`) or "destroy".
struct DebugEvent {
  std::string kind;
  bool nullInstance = false;
  std::string function;
  int level = 0;
  std::string message;
};

// While capturing, EvDebug records its events here instead of writing lines
// to standard error; events of objects on several threads interleave.
void StartDebugCapture();
// Ends the capture and returns the events recorded since it started.
std::vector<DebugEvent> StopDebugCapture();

// While on, DebugLvl returns at once: nothing is formatted, written or
// captured. Benchmarks use it to time the reader without the log writer.
void DiscardDebugLines(bool discard);

// One log line as the stand-in writes it to standard error, line feed included.
std::string FormatDebugLine(const std::string& function, int level,
                            const std::string& message);

}  // namespace standin

#endif  // HOST_STANDINS_EVDEBUGCONTROL_H_
