// The standard descriptors as the program found them, and standard output
// with every write checked, as coreutils' close_stdout checks it.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <iostream>

#include "ToolCore.h"

namespace vscr_tool {

void Complain(const char* program, const std::string& problem) {
  std::cerr << program << ": " << problem << '\n';
}

StandardDescriptors HoldStandardDescriptors() {
  StandardDescriptors descriptors;
  // The lower numbers are open by now, so open() takes `fd` itself.
  for (int fd = 0; fd <= 2; ++fd) {
    if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    descriptors.closed[fd] = true;
    descriptors.held = ::open("/dev/null", O_RDWR) == fd && descriptors.held;
  }
  return descriptors;
}

CheckedOutput::CheckedOutput(const char* program, const StandardDescriptors& descriptors)
    : m_program(program) {
  if (descriptors.closed[STDOUT_FILENO]) Fail(EBADF);
}

void CheckedOutput::Fail(int error) {
  int none = 0;
  m_error.compare_exchange_strong(none, error != 0 ? error : EIO);
}

bool CheckedOutput::Holds() {
  if (!std::cout) Fail(errno);
  return m_error.load() == 0;
}

bool CheckedOutput::Write(const char* data, std::size_t size) {
  for (std::size_t done = 0; done < size && m_error.load() == 0;) {
    const ssize_t n = ::write(STDOUT_FILENO, data + done, size - done);
    if (n < 0 && errno != EINTR) Fail(errno);
    done += n > 0 ? static_cast<std::size_t>(n) : 0;
  }
  return m_error.load() == 0;
}

int CheckedOutput::Finish(int status) {
  std::cout.flush();
  if (Holds() && ::close(STDOUT_FILENO) != 0 && errno != EINTR) Fail(errno);
  if (m_error.load() == 0) return status;
  Complain(m_program, std::string("write error: ") + std::strerror(m_error.load()));
  return kExitFailure;
}

}  // namespace vscr_tool
