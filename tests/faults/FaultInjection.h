// The control interface of the fault-injection library (libvscr_faults.so),
// a preload library that stands between the process and the C library's
// file calls. Tests reach these functions through dlsym, so that a test
// program never links the library and runs only when it is preloaded.
//
// Calls are counted by family, from the moment a plan starts:
//   "open"   open, open64, openat, openat64, fopen, fopen64
//   "read"   read
//   "write"  write
//   "close"  close, fclose (the descriptor is released even when the call
//            is made to fail, as Linux always releases it)
//   "fsync"  fsync, fdatasync
//   "rename" rename, renameat, renameat2
//   "lseek"  lseek, lseek64
//   "stat"   statx, stat, fstat, lstat, fstatat and their 64-bit and
//            __xstat forms, access, faccessat, pathconf
//   "random" getrandom
// A failed call has no effect but its result and errno.
//
// While a plan runs, the calls that open a file or make one durable are
// traced in the order made, those made to fail included, one line each:
// "open <path>" (the open family, the path as passed), "fsync <path>"
// (fsync, fdatasync; the path that the descriptor stands for, from
// /proc/self/fd) and "rename <from> <to>" (the paths as passed).
#ifndef TESTS_FAULTS_FAULTINJECTION_H_
#define TESTS_FAULTS_FAULTINJECTION_H_

// The `error` of a planned read or write that does nothing and returns 0,
// as a read at the end of a file does, or a write that takes no byte.
#define VSCR_FAULTS_RETURN_ZERO (-1)

extern "C" {

// Starts a plan: counting begins at zero, and the `nth` call (1-based) of
// `family` fails with `error`. A null or unknown family, or `nth` 0, only
// counts. Returns 0, or -1 for an unknown family.
typedef int (*vscr_faults_fail_nth_fn)(const char* family, unsigned long nth, int error);

// Adds to the running plan a second call to fail, as vscr_faults_fail_nth
// names one. Returns 0, or -1 for an unknown family or when the plan holds
// two already.
typedef int (*vscr_faults_also_fail_nth_fn)(const char* family, unsigned long nth, int error);

// Starts a plan that puts a bad spot at byte `offset` of every file: each
// read whose bytes would take in that byte fails with `error`, however
// often it is tried, as on a damaged disk. Calls are counted as in any plan.
typedef void (*vscr_faults_fail_reads_at_fn)(unsigned long long offset, int error);

// Starts a plan in which every second call of each family fails with
// EINTR, except lseek, which the kernel never interrupts.
typedef void (*vscr_faults_interrupt_fn)(void);

// Ends the plan: calls pass through uncounted. Returns 1 when every planned
// fault was injected, else 0.
typedef int (*vscr_faults_stop_fn)(void);

// Calls of `family` counted by the last plan; 0 for an unknown family.
typedef unsigned long (*vscr_faults_calls_fn)(const char* family);

// The trace of the last plan, as lines ending in '\n'. Valid until the next
// plan starts.
typedef const char* (*vscr_faults_trace_fn)(void);

// From now on, plan or no plan, getrandom answers without the kernel: its
// nth call from here (1-based) fills the whole buffer with the byte
// (`first` + n - 1) mod 256. A planned failure still comes first. A
// negative `first` lets getrandom through to the kernel again.
typedef void (*vscr_faults_fix_random_fn)(int first);

}  // extern "C"

#endif  // TESTS_FAULTS_FAULTINJECTION_H_
