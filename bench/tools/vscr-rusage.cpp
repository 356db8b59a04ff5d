// vscr-rusage RESULT COMMAND [ARGS...]: runs COMMAND with this process's
// standard streams and writes "USER SYS MAXRSS" to the file RESULT: CPU
// seconds in user and kernel mode with microsecond resolution, and the
// peak resident set in KiB. GNU time rounds to hundredths, too coarse for
// runs of a fraction of a second. Exits with COMMAND's status.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace {

double Seconds(const timeval& t) {
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: vscr-rusage RESULT COMMAND [ARGS...]\n");
    return 2;
  }
  const pid_t child = ::fork();
  if (child < 0) {
    std::perror("fork");
    return 1;
  }
  if (child == 0) {
    ::execvp(argv[2], argv + 2);
    std::perror(argv[2]);
    ::_exit(127);
  }
  int status = 0;
  rusage usage {};
  while (::wait4(child, &status, 0, &usage) < 0) {
    if (errno != EINTR) {
      std::perror("wait4");
      return 1;
    }
  }
  std::FILE* result = std::fopen(argv[1], "w");
  if (result == nullptr) {
    std::perror(argv[1]);
    return 1;
  }
  std::fprintf(result, "%.6f %.6f %ld\n", Seconds(usage.ru_utime),
               Seconds(usage.ru_stime), usage.ru_maxrss);
  std::fclose(result);
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  return 128 + WTERMSIG(status);
}
