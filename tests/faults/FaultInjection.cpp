// The fault library of FaultInjection.h. Each wrapper asks Decide() whether
// to fail; if not, it calls the C library's own function (dlsym RTLD_NEXT).
// Calls the C library makes inside itself (the open inside fopen) do not
// pass through here, so fopen and fclose, through which libstdc++'s file
// streams go, are wrapped as well.
#include <dlfcn.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stdio.h>
#include <string.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "FaultInjection.h"

namespace {

enum Family { kOpen, kRead, kWrite, kClose, kFsync, kRename, kLseek, kStat, kRandom, kFamilyCount };

const char* const kFamilyNames[kFamilyCount] = {"open",  "read",   "write", "close", "fsync",
                                                "rename", "lseek", "stat",  "random"};

// One call to fail: the `nth` call of `family`, with `error`.
struct Fault {
  int family = -1;
  unsigned long nth = 0;
  int error = 0;
  bool fired = false;
};

constexpr int kMaxFaults = 2;

struct Plan {
  bool active = false;
  bool interrupting = false;
  Fault faults[kMaxFaults];
  int faultCount = 0;
  bool badSpot = false;  // reads that take in byte `spot` fail with `spotError`
  unsigned long long spot = 0;
  int spotError = 0;
  bool spotFired = false;
  unsigned long calls[kFamilyCount] = {};
  std::string trace;
};

Plan g_plan;

// A fresh plan, running.
Plan& StartPlan() {
  g_plan = Plan();
  g_plan.active = true;
  return g_plan;
}

// getrandom's fixed answers: the byte of the next call, or -1 for none.
int g_nextRandomByte = -1;

int FamilyOf(const char* name) {
  if (name == nullptr) return -1;
  for (int i = 0; i < kFamilyCount; ++i) {
    if (strcmp(name, kFamilyNames[i]) == 0) return i;
  }
  return -2;
}

// The errno this call must fail with, or 0 to let it through.
int Decide(Family family) {
  if (!g_plan.active) return 0;
  const unsigned long n = ++g_plan.calls[family];
  for (int i = 0; i < g_plan.faultCount; ++i) {
    Fault& fault = g_plan.faults[i];
    if (family == fault.family && n == fault.nth) {
      fault.fired = true;
      return fault.error;
    }
  }
  // lseek never sleeps, so the kernel never interrupts it.
  if (g_plan.interrupting && family != kLseek && n % 2 == 0) return EINTR;
  return 0;
}

void* Next(const char* name) { return dlsym(RTLD_NEXT, name); }

void Trace(const std::string& line) {
  if (g_plan.active) g_plan.trace += line + "\n";
}

// Adds a fault to the plan; -1 for an unknown family or a full plan.
int AddFault(const char* family, unsigned long nth, int error) {
  const int index = FamilyOf(family);
  if (index == -2 || g_plan.faultCount == kMaxFaults) return -1;
  if (index >= 0 && nth > 0) {
    Fault& fault = g_plan.faults[g_plan.faultCount++];
    fault.family = index;
    fault.nth = nth;
    fault.error = error;
  }
  return 0;
}

// The path that `fd` stands for, as the kernel names it.
std::string PathOf(int fd) {
  char path[4096];
  const std::string link = "/proc/self/fd/" + std::to_string(fd);
  const ssize_t n = readlink(link.c_str(), path, sizeof path);
  return n > 0 ? std::string(path, static_cast<size_t>(n)) : "fd " + std::to_string(fd);
}

}  // namespace

// The C library's function `name`, looked up once.
#define REAL(name) \
  static const auto real_##name = reinterpret_cast<decltype(&name)>(Next(#name))

// Fails with `result` when the plan says so; returns from the wrapper.
#define MAYBE_FAIL(family, result)        \
  do {                                    \
    if (const int error = Decide(family)) { \
      errno = error;                      \
      return result;                      \
    }                                     \
  } while (0)

// A control function of the library, for tests to find with dlsym.
#define EXPORT __attribute__((visibility("default")))

extern "C" {

// The stat forms that current headers no longer declare.
int __xstat(int, const char*, struct stat*);
int __xstat64(int, const char*, struct stat64*);
int __lxstat(int, const char*, struct stat*);
int __lxstat64(int, const char*, struct stat64*);
int __fxstat(int, int, struct stat*);
int __fxstat64(int, int, struct stat64*);
int __fxstatat(int, int, const char*, struct stat*, int);
int __fxstatat64(int, int, const char*, struct stat64*, int);

EXPORT int vscr_faults_fail_nth(const char* family, unsigned long nth, int error) {
  StartPlan();
  return AddFault(family, nth, error);
}

EXPORT int vscr_faults_also_fail_nth(const char* family, unsigned long nth, int error) {
  return AddFault(family, nth, error);
}

EXPORT void vscr_faults_fail_reads_at(unsigned long long offset, int error) {
  Plan& plan = StartPlan();
  plan.badSpot = true;
  plan.spot = offset;
  plan.spotError = error;
}

EXPORT void vscr_faults_interrupt(void) { StartPlan().interrupting = true; }

EXPORT int vscr_faults_stop(void) {
  g_plan.active = false;
  if (g_plan.spotFired) return 1;
  int fired = g_plan.faultCount > 0 ? 1 : 0;
  for (int i = 0; i < g_plan.faultCount; ++i) fired &= g_plan.faults[i].fired ? 1 : 0;
  return fired;
}

EXPORT unsigned long vscr_faults_calls(const char* family) {
  const int index = FamilyOf(family);
  return index >= 0 ? g_plan.calls[index] : 0;
}

EXPORT const char* vscr_faults_trace(void) { return g_plan.trace.c_str(); }

EXPORT void vscr_faults_fix_random(int first) {
  g_nextRandomByte = first < 0 ? -1 : first % 256;
}

// --- the wrappers ---------------------------------------------------------

// A wrapper of the C library's `name` that runs `before`, then fails with
// `failure` when the plan says so of `family`, else makes the real call.
// Some forms exist only in older C libraries; a missing one reports ENOSYS.
#define WRAP(type, name, params, args, family, failure, before) \
  type name params {                                             \
    REAL(name);                                                  \
    before;                                                      \
    MAYBE_FAIL(family, failure);                                 \
    if (real_##name == nullptr) {                                \
      errno = ENOSYS;                                            \
      return failure;                                            \
    }                                                            \
    return real_##name args;                                     \
  }

// The mode argument exists only when the flags create a file.
static mode_t ModeOf(int flags, va_list args) {
  const bool creates = (flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE;
  return creates ? static_cast<mode_t>(va_arg(args, int)) : 0;
}

#define TRACE_OPEN                   \
  va_list rest;                      \
  va_start(rest, flags);             \
  const mode_t mode = ModeOf(flags, rest); \
  va_end(rest);                      \
  Trace(std::string("open ") + path)

WRAP(int, open, (const char* path, int flags, ...), (path, flags, mode), kOpen, -1, TRACE_OPEN)
WRAP(int, open64, (const char* path, int flags, ...), (path, flags, mode), kOpen, -1, TRACE_OPEN)
WRAP(int, openat, (int dir, const char* path, int flags, ...), (dir, path, flags, mode), kOpen, -1,
     TRACE_OPEN)
WRAP(int, openat64, (int dir, const char* path, int flags, ...), (dir, path, flags, mode), kOpen,
     -1, TRACE_OPEN)
WRAP(FILE*, fopen, (const char* path, const char* mode), (path, mode), kOpen, nullptr,
     Trace(std::string("open ") + path))
WRAP(FILE*, fopen64, (const char* path, const char* mode), (path, mode), kOpen, nullptr,
     Trace(std::string("open ") + path))

WRAP(int, fsync, (int fd), (fd), kFsync, -1, Trace("fsync " + PathOf(fd)))
WRAP(int, fdatasync, (int fd), (fd), kFsync, -1, Trace("fsync " + PathOf(fd)))

#define TRACE_RENAME Trace(std::string("rename ") + from + " " + to)
WRAP(int, rename, (const char* from, const char* to), (from, to), kRename, -1, TRACE_RENAME)
WRAP(int, renameat, (int fromDir, const char* from, int toDir, const char* to),
     (fromDir, from, toDir, to), kRename, -1, TRACE_RENAME)
WRAP(int, renameat2, (int fromDir, const char* from, int toDir, const char* to, unsigned int flags),
     (fromDir, from, toDir, to, flags), kRename, -1, TRACE_RENAME)

WRAP(off_t, lseek, (int fd, off_t offset, int whence), (fd, offset, whence), kLseek, -1, )
WRAP(off64_t, lseek64, (int fd, off64_t offset, int whence), (fd, offset, whence), kLseek, -1, )

// --- read, close, getrandom: more than a failure ---------------------------

// Whether a read of `size` bytes at the position of `fd` takes in the bad
// spot. The position is asked of the C library itself, uncounted; a file
// without one (a pipe) has no bad spot.
static bool TakesInBadSpot(int fd, size_t size) {
  if (!g_plan.active || !g_plan.badSpot) return false;
  static const auto real_lseek = reinterpret_cast<decltype(&lseek)>(Next("lseek"));
  const off_t at = real_lseek(fd, 0, SEEK_CUR);
  if (at < 0) return false;
  const auto position = static_cast<unsigned long long>(at);
  return position <= g_plan.spot && g_plan.spot - position < size;
}

// Fails with `result`, or returns 0 for VSCR_FAULTS_RETURN_ZERO, when the
// plan says so; returns from the wrapper.
#define MAYBE_FAIL_OR_ZERO(family, result)         \
  do {                                             \
    const int error = Decide(family);              \
    if (error == VSCR_FAULTS_RETURN_ZERO) return 0; \
    if (error != 0) {                              \
      errno = error;                               \
      return result;                               \
    }                                              \
  } while (0)

ssize_t write(int fd, const void* data, size_t size) {
  REAL(write);
  MAYBE_FAIL_OR_ZERO(kWrite, -1);
  return real_write(fd, data, size);
}

ssize_t read(int fd, void* data, size_t size) {
  REAL(read);
  MAYBE_FAIL_OR_ZERO(kRead, -1);
  if (TakesInBadSpot(fd, size)) {
    g_plan.spotFired = true;
    errno = g_plan.spotError;
    return -1;
  }
  return real_read(fd, data, size);
}

// Linux releases a descriptor whatever close reports, so a failed close
// still closes; only the result tells of the fault.
int close(int fd) {
  REAL(close);
  const int error = Decide(kClose);
  const int result = real_close(fd);
  if (error == 0) return result;
  errno = error;
  return -1;
}

int fclose(FILE* stream) {
  REAL(fclose);
  const int error = Decide(kClose);
  const int result = real_fclose(stream);
  if (error == 0) return result;
  errno = error;
  return EOF;
}

ssize_t getrandom(void* data, size_t size, unsigned int flags) {
  REAL(getrandom);
  MAYBE_FAIL(kRandom, -1);
  if (g_nextRandomByte < 0) return real_getrandom(data, size, flags);
  memset(data, g_nextRandomByte, size);
  g_nextRandomByte = (g_nextRandomByte + 1) % 256;
  return static_cast<ssize_t>(size);
}

// --- the stat family ---------------------------------------------------------

#define STAT_WRAPPER(name, params, args) WRAP(int, name, params, args, kStat, -1, )

STAT_WRAPPER(statx, (int dir, const char* path, int flags, unsigned int mask, struct statx* info),
             (dir, path, flags, mask, info))
STAT_WRAPPER(stat, (const char* path, struct stat* info), (path, info))
STAT_WRAPPER(stat64, (const char* path, struct stat64* info), (path, info))
STAT_WRAPPER(lstat, (const char* path, struct stat* info), (path, info))
STAT_WRAPPER(lstat64, (const char* path, struct stat64* info), (path, info))
STAT_WRAPPER(fstat, (int fd, struct stat* info), (fd, info))
STAT_WRAPPER(fstat64, (int fd, struct stat64* info), (fd, info))
STAT_WRAPPER(fstatat, (int dir, const char* path, struct stat* info, int flags),
             (dir, path, info, flags))
STAT_WRAPPER(fstatat64, (int dir, const char* path, struct stat64* info, int flags),
             (dir, path, info, flags))
STAT_WRAPPER(__xstat, (int version, const char* path, struct stat* info), (version, path, info))
STAT_WRAPPER(__xstat64, (int version, const char* path, struct stat64* info),
             (version, path, info))
STAT_WRAPPER(__lxstat, (int version, const char* path, struct stat* info), (version, path, info))
STAT_WRAPPER(__lxstat64, (int version, const char* path, struct stat64* info),
             (version, path, info))
STAT_WRAPPER(__fxstat, (int version, int fd, struct stat* info), (version, fd, info))
STAT_WRAPPER(__fxstat64, (int version, int fd, struct stat64* info), (version, fd, info))
STAT_WRAPPER(__fxstatat, (int version, int dir, const char* path, struct stat* info, int flags),
             (version, dir, path, info, flags))
STAT_WRAPPER(__fxstatat64,
             (int version, int dir, const char* path, struct stat64* info, int flags),
             (version, dir, path, info, flags))
STAT_WRAPPER(access, (const char* path, int mode), (path, mode))
STAT_WRAPPER(faccessat, (int dir, const char* path, int mode, int flags), (dir, path, mode, flags))

WRAP(long, pathconf, (const char* path, int name), (path, name), kStat, -1, )

}  // extern "C"
