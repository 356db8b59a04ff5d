// What both operator tools share: their exit statuses, the standard
// descriptors as the program found them, standard output with every write
// checked, and the clean-up that an interrupt runs.
#ifndef TOOLS_CORE_TOOLCORE_H_
#define TOOLS_CORE_TOOLCORE_H_

#include <atomic>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>

namespace vscr_tool {

enum ExitStatus : int { kExitDone = 0, kExitFailure = 1, kExitBadArguments = 2 };

// Writes "<program>: <problem>" and a line feed to standard error.
void Complain(const char* program, const std::string& problem);

// Which of descriptors 0 to 2 were closed when the program started. Each of
// them now holds /dev/null, so that no file opened later takes its number
// and is taken for a standard stream; a tool that must use one of them says
// that it is closed instead of using /dev/null. `held` is false when
// /dev/null could not be opened.
struct StandardDescriptors {
  bool closed[3] = {false, false, false};
  bool held = true;
};
// Call before anything opens a file.
StandardDescriptors HoldStandardDescriptors();

// Standard output, every write to it checked: through std::cout, or from
// another thread with Write. The first failure is kept and told by Finish.
class CheckedOutput {
 public:
  // A standard output that was closed at the start fails every write with
  // "Bad file descriptor", before anything is written.
  CheckedOutput(const char* program, const StandardDescriptors& descriptors);
  CheckedOutput(const CheckedOutput&) = delete;
  CheckedOutput& operator=(const CheckedOutput&) = delete;

  // Whether every write so far went out, std::cout's included.
  bool Holds();
  // Writes all `size` bytes to descriptor 1 unless a write failed before;
  // false when this or an earlier write failed. Safe on any one thread at
  // a time.
  bool Write(const char* data, std::size_t size);
  // Flushes std::cout and closes descriptor 1. After a failed write it says
  // "<program>: write error: <reason>" and returns kExitFailure, otherwise
  // `status`.
  int Finish(int status);

 private:
  void Fail(int error);

  const char* m_program;
  std::atomic<int> m_error{0};  // errno of the first failed write
};

struct InterruptState;

// From construction on, SIGINT, SIGTERM, SIGHUP and SIGQUIT (those that were
// not ignored when the program started) run the clean-ups added at that
// moment, on a thread of their own, then end the process by that signal.
// Construct it before any other thread starts, as it blocks the signals in
// every thread made after. A clean-up may run while other threads go on.
class InterruptCleanup {
 public:
  using Cleanup = std::function<void()>;

  InterruptCleanup();
  InterruptCleanup(const InterruptCleanup&) = delete;
  InterruptCleanup& operator=(const InterruptCleanup&) = delete;

  // Runs `cleanup` on an interrupt while the returned guard lives. The
  // guard's destructor waits for a clean-up that has begun.
  class Guard {
   public:
    Guard(Guard&& other) noexcept;
    ~Guard();
    Guard(const Guard&) = delete;
    Guard& operator=(const Guard&) = delete;
    Guard& operator=(Guard&&) = delete;

   private:
    friend class InterruptCleanup;
    Guard(std::shared_ptr<InterruptState> state, unsigned id);
    std::shared_ptr<InterruptState> m_state;
    unsigned m_id;
  };
  Guard Add(Cleanup cleanup);

 private:
  std::shared_ptr<InterruptState> m_state;  // shared with the waiting thread
};

}  // namespace vscr_tool

#endif  // TOOLS_CORE_TOOLCORE_H_
