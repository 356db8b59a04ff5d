// Descriptors 0 and 1 behind FIFO names, each served by a thread of ours.
#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <filesystem>

#include "StandardFifos.h"

namespace vscr_tool {

struct StandardFifos::Relay {
  std::string path;
  std::atomic<bool> opened{false};    // the thread has its end open
  std::atomic<bool> cancelled{false};  // the library gave up: feed nothing
  std::atomic<int> readError{0};       // errno of a failed read of descriptor 0
};

namespace {

namespace fs = std::filesystem;
using Relay = StandardFifos::Relay;

constexpr std::size_t kBlockSize = 64 * 1024;

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
void Drain(const std::shared_ptr<Relay>& relay, CheckedOutput& output) {
  const int fifo = OpenRetrying(relay->path, O_RDONLY);
  relay->opened = true;
  char block[kBlockSize];
  // Read to the end even when released: what the library wrote before the
  // release stands in the FIFO.
  for (ssize_t got; fifo >= 0 && (got = ::read(fifo, block, sizeof block)) != 0;) {
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

std::string MakeFolder() {
  std::error_code error;
  std::string path = (fs::temp_directory_path(error) / "collect-walk.XXXXXX").string();
  return ::mkdtemp(path.data()) != nullptr ? path : std::string();
}

void RemoveFolder(const std::string& path) {
  std::error_code error;
  if (!path.empty()) fs::remove_all(path, error);
}

}  // namespace

StandardFifos::StandardFifos(InterruptCleanup& interrupts, CheckedOutput& output)
    : m_output(output), m_folder(MakeFolder()),
      m_guard(interrupts.Add([path = m_folder] { RemoveFolder(path); })),
      m_feed(std::make_shared<Relay>()), m_drain(std::make_shared<Relay>()) {}

StandardFifos::~StandardFifos() {
  Done(false);
  RemoveFolder(m_folder);
}

std::string StandardFifos::Input() {
  if (!Make("stdin", *m_feed)) return std::string();
  m_feeder = std::thread([feed = m_feed] { Feed(feed); });
  return m_feed->path;
}

std::string StandardFifos::Output() {
  if (!Make("stdout", *m_drain)) return std::string();
  m_drainer = std::thread([drain = m_drain, &output = m_output] { Drain(drain, output); });
  return m_drain->path;
}

bool StandardFifos::Make(const char* name, Relay& relay) const {
  if (m_folder.empty()) return false;
  relay.path = m_folder + "/" + name;
  return ::mkfifo(relay.path.c_str(), 0600) == 0;
}

int StandardFifos::Done(bool readToTheEnd) {
  Finish(m_feeder, m_feed, readToTheEnd);
  Finish(m_drainer, m_drain, true);  // the library's end is closed: it sees the end
  return m_feed->readError;
}

}  // namespace vscr_tool
