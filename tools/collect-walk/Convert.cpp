// The conversion, its "-" for INPUT and OUTPUT being descriptors 0 and 1 as
// they stand (StandardFifos.h).
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "CollectWalk.h"
#include "StandardFifos.h"

namespace {

int Fail(const std::string& problem) { return (Complain(problem), kExitFailure); }

}  // namespace

int Convert(Tool& tool, const std::string& input, const std::string& output, char delimiter) {
  if (input == "-" && tool.descriptors.closed[STDIN_FILENO]) {
    return Fail(std::string("read error: ") + std::strerror(EBADF));
  }
  if (!tool.output.Holds()) return kExitFailure;  // told when the output is finished
  vscr_tool::StandardFifos fifos(tool.interrupts, tool.output);
  const std::string from = input == "-" ? fifos.Input() : input;
  if (from.empty()) return Fail(std::string("cannot make a FIFO: ") + std::strerror(errno));
  const std::string to = output == "-" ? fifos.Output() : output;
  if (to.empty()) return Fail(std::string("cannot make a FIFO: ") + std::strerror(errno));
  VivodStubCollectReader reader{VivodStubCollectReaderInitArgs{}};
  const bool converted = reader.ProcessStubCollectFile(from, to, delimiter);
  const int readError = fifos.Done(converted);
  if (!converted) return Fail("ProcessStubCollectFile failed: " + reader.m_lastError);
  if (readError != 0) return Fail(std::string("read error: ") + std::strerror(readError));
  return kExitDone;
}
