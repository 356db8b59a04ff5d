// Descriptors 0 and 1 as file names, for a library that opens its files by
// name: each is a FIFO in a private folder, which a thread of ours feeds
// from descriptor 0 or drains to standard output. So each descriptor is
// read or written where it stands, shared offset and all, whatever it is
// (a file, a pipe, a socket); a name such as /dev/stdin would open the file
// afresh from its start, fail on a socket, and need /proc.
#ifndef TOOLS_CORE_STANDARDFIFOS_H_
#define TOOLS_CORE_STANDARDFIFOS_H_

#include <atomic>
#include <memory>
#include <string>
#include <thread>

#include "ToolCore.h"

namespace vscr_tool {

class StandardFifos {
 public:
  // The folder is made in TMPDIR and removed at destruction or on an
  // interrupt; writes to standard output go through `output`.
  StandardFifos(InterruptCleanup& interrupts, CheckedOutput& output);
  ~StandardFifos();
  StandardFifos(const StandardFifos&) = delete;
  StandardFifos& operator=(const StandardFifos&) = delete;

  // The name that stands for descriptor 0, to be opened for reading once,
  // or for standard output, to be opened for writing once; empty, with
  // errno set, when it cannot be made. Call each at most once.
  std::string Input();
  std::string Output();
  // Call once the library has closed the names; `readToTheEnd` when it read
  // its input to the end. Returns the errno of a failed read of descriptor
  // 0, or 0.
  int Done(bool readToTheEnd);

  struct Relay;

 private:
  bool Make(const char* name, Relay& relay) const;

  CheckedOutput& m_output;
  std::string m_folder;  // empty when it could not be made
  InterruptCleanup::Guard m_guard;
  std::shared_ptr<Relay> m_feed, m_drain;
  std::thread m_feeder, m_drainer;
};

}  // namespace vscr_tool

#endif  // TOOLS_CORE_STANDARDFIFOS_H_
