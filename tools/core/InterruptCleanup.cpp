// Clean-up on an interrupt. No signal handler may remove files or take a
// lock, so the signals are blocked everywhere and a thread of our own waits
// for them with sigwait, runs the clean-ups as ordinary code, and then ends
// the process by the same signal, so that a shell sees 128 + its number.
#include <pthread.h>
#include <unistd.h>

#include <csignal>
#include <map>
#include <mutex>
#include <thread>
#include <utility>

#include "ToolCore.h"

namespace vscr_tool {

struct InterruptState {
  sigset_t watched;
  std::mutex mutex;  // held from the signal on, until the process ends
  std::map<unsigned, InterruptCleanup::Cleanup> cleanups;
  unsigned nextId = 0;
};

namespace {

void WaitAndEnd(std::shared_ptr<InterruptState> state) {
  int signal = 0;
  if (::sigwait(&state->watched, &signal) != 0) return;
  state->mutex.lock();  // never unlocked: no clean-up is added or dropped after this
  for (auto& [id, cleanup] : state->cleanups) {
    try {
      cleanup();
    } catch (...) {  // the others still run, and the signal still ends us
    }
  }
  std::signal(signal, SIG_DFL);
  sigset_t only;
  ::sigemptyset(&only);
  ::sigaddset(&only, signal);
  ::pthread_sigmask(SIG_UNBLOCK, &only, nullptr);
  std::raise(signal);
  ::_exit(128 + signal);  // a default action that does not end the process
}

}  // namespace

InterruptCleanup::InterruptCleanup() : m_state(std::make_shared<InterruptState>()) {
  ::sigemptyset(&m_state->watched);
  for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) {
    struct sigaction action {};  // one ignored when we started (nohup) stays ignored
    if (::sigaction(signal, nullptr, &action) == 0 && action.sa_handler != SIG_IGN) {
      ::sigaddset(&m_state->watched, signal);
    }
  }
  // Blocked before the thread starts, and so in every thread after.
  if (!::sigisemptyset(&m_state->watched) &&
      ::pthread_sigmask(SIG_BLOCK, &m_state->watched, nullptr) == 0) {
    std::thread(WaitAndEnd, m_state).detach();
  }
}

InterruptCleanup::Guard InterruptCleanup::Add(Cleanup cleanup) {
  const std::lock_guard<std::mutex> lock(m_state->mutex);
  const unsigned id = m_state->nextId++;
  m_state->cleanups.emplace(id, std::move(cleanup));
  return Guard(m_state, id);
}

InterruptCleanup::Guard::Guard(std::shared_ptr<InterruptState> state, unsigned id)
    : m_state(std::move(state)), m_id(id) {}

InterruptCleanup::Guard::Guard(Guard&& other) noexcept
    : m_state(std::move(other.m_state)), m_id(other.m_id) {}

InterruptCleanup::Guard::~Guard() {
  if (!m_state) return;
  const std::lock_guard<std::mutex> lock(m_state->mutex);
  m_state->cleanups.erase(m_id);
}

}  // namespace vscr_tool
