// The conversion. The library opens its input and output by name, so a "-"
// becomes a FIFO in a private folder, which a thread of ours feeds from
// descriptor 0 or drains to descriptor 1. So each descriptor is read or
// written where it stands, shared offset and all, whatever it is; a name
// such as /dev/stdin would open the file afresh from its start, fail on a
// socket, and need /proc.
#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <memory>
#include <thread>

#include "CollectWalk.h"

namespace {

namespace fs = std::filesystem;

constexpr std::size_t kBlockSize = 64 * 1024;

// One FIFO and the thread at its far end.
struct Relay {
  std::string path;
  std::atomic<bool> opened{false};    // the thread has its end open
  std::atomic<bool> cancelled{false};  // the library gave up: copy nothing
  std::atomic<int> readError{0};       // errno of a failed read of descriptor 0
};

int OpenRetrying(const std::string& path, int flags) {
  int fd = -1;
  do fd = ::open(path.c_str(), flags | O_CLOEXEC);
  while (fd < 0 && errno == EINTR);
  return fd;
}

// Copies descriptor 0 into the FIFO until its end or a read error.
void Feed(const std::shared_ptr<Relay>& relay) {
  sigset_t pipe;  // a library that stops reading ends our writes, not us
  ::sigemptyset(&pipe);
  ::sigaddset(&pipe, SIGPIPE);
  ::pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
  const int fifo = OpenRetrying(relay->path, O_WRONLY);
  relay->opened = true;
  char block[kBlockSize];
  for (bool going = fifo >= 0 && !relay->cancelled; going;) {
    const ssize_t got = ::read(STDIN_FILENO, block, sizeof block);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) relay->readError = errno;
    for (ssize_t done = 0, n = 0; got > 0 && done < got && going; done += n > 0 ? n : 0) {
      n = ::write(fifo, block + done, static_cast<std::size_t>(got - done));
      going = n >= 0 || errno == EINTR;
    }
    going = going && got > 0;
  }
  if (fifo >= 0) ::close(fifo);
}

// Copies the FIFO to standard output. After a failed write the rest is read
// and dropped: a FIFO nobody reads would end the library's writes with
// SIGPIPE, and a full disk would look like a broken pipe.
void Drain(const std::shared_ptr<Relay>& relay, vscr_tool::CheckedOutput& output) {
  const int fifo = OpenRetrying(relay->path, O_RDONLY);
  relay->opened = true;
  char block[kBlockSize];
  for (ssize_t got; fifo >= 0 && !relay->cancelled && (got = ::read(fifo, block, sizeof block)) != 0;) {
    if (got > 0) output.Write(block, static_cast<std::size_t>(got));
    if (got < 0 && errno != EINTR) break;
  }
  if (fifo >= 0) ::close(fifo);
}

// A thread still waiting to open its end, as the library never opened the
// other, is let through: a FIFO opened for reading and writing at once never
// waits, and counts as the end the thread waits for.
void Release(Relay& relay) {
  relay.cancelled = true;
  const int fd = OpenRetrying(relay.path, O_RDWR | O_NONBLOCK);
  while (!relay.opened) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  if (fd >= 0) ::close(fd);
}

// The private folder of the FIFOs, removed when the conversion ends in any
// way, an interrupt included.
class FifoFolder {
 public:
  explicit FifoFolder(vscr_tool::InterruptCleanup& interrupts)
      : m_path(MakeFolder()), m_guard(interrupts.Add([path = m_path] { Remove(path); })) {}
  ~FifoFolder() { Remove(m_path); }
  FifoFolder(const FifoFolder&) = delete;
  FifoFolder& operator=(const FifoFolder&) = delete;

  bool made() const { return !m_path.empty(); }
  // A FIFO named `name` in it; empty when it cannot be made.
  std::string Fifo(const char* name) const {
    const std::string path = m_path + "/" + name;
    return ::mkfifo(path.c_str(), 0600) == 0 ? path : std::string();
  }

 private:
  static std::string MakeFolder() {
    std::error_code error;
    std::string path = (fs::temp_directory_path(error) / "collect-walk.XXXXXX").string();
    return ::mkdtemp(path.data()) != nullptr ? path : std::string();
  }
  static void Remove(const std::string& path) {
    std::error_code error;
    if (!path.empty()) fs::remove_all(path, error);
  }

  std::string m_path;
  vscr_tool::InterruptCleanup::Guard m_guard;
};

// Starts `relay` for `name` in `folder` on a thread running `body`; false
// when the FIFO cannot be made.
template <typename Body>
bool Start(const FifoFolder& folder, const char* name, const std::shared_ptr<Relay>& relay,
           std::thread* thread, Body body) {
  relay->path = folder.Fifo(name);
  if (relay->path.empty()) return false;
  *thread = std::thread(body);
  return true;
}

// Lets the thread of `relay` end once the library is done with the FIFO: a
// thread that still waits to open it is released. The thread is joined
// unless it may wait for ever on descriptor 0 (a terminal that sends no
// more), as after a failed conversion; then it is left to end with us.
void Finish(std::thread& thread, const std::shared_ptr<Relay>& relay, bool join) {
  if (!thread.joinable()) return;
  if (!relay->opened || !join) Release(*relay);
  if (join) return thread.join();
  thread.detach();
}

}  // namespace

int Convert(Tool& tool, const std::string& input, const std::string& output, char delimiter) {
  const bool fromStdin = input == "-";
  const bool toStdout = output == "-";
  if (fromStdin && tool.descriptors.closed[STDIN_FILENO]) {
    return (Complain(std::string("read error: ") + std::strerror(EBADF)), kExitFailure);
  }
  if (!tool.output.Holds()) return kExitFailure;  // told when the output is finished
  FifoFolder folder(tool.interrupts);
  if ((fromStdin || toStdout) && !folder.made()) {
    return (Complain(std::string("cannot make a private folder: ") + std::strerror(errno)), kExitFailure);
  }
  const auto feed = std::make_shared<Relay>();
  const auto drain = std::make_shared<Relay>();
  std::thread feeder, drainer;
  if ((fromStdin && !Start(folder, "stdin", feed, &feeder, [feed] { Feed(feed); })) ||
      (toStdout && !Start(folder, "stdout", drain, &drainer, [drain, &tool] { Drain(drain, tool.output); }))) {
    Complain(std::string("cannot make a FIFO: ") + std::strerror(errno));
    Finish(feeder, feed, false);
    return kExitFailure;
  }
  VivodStubCollectReader reader{VivodStubCollectReaderInitArgs{}};
  const bool converted = reader.ProcessStubCollectFile(fromStdin ? feed->path : input,
                                                       toStdout ? drain->path : output, delimiter);
  Finish(feeder, feed, converted);
  Finish(drainer, drain, true);  // the library's end is closed: it sees the end
  if (!converted) return (Complain("ProcessStubCollectFile failed: " + reader.m_lastError), kExitFailure);
  if (feed->readError != 0) {
    return (Complain(std::string("read error: ") + std::strerror(feed->readError)), kExitFailure);
  }
  return kExitDone;
}
