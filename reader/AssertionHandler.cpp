// The hardened build checks libstdc++'s preconditions (_GLIBCXX_ASSERTIONS).
// libstdc++ 12 reports a failed check through std::__glibcxx_assert_fail,
// which its shared library exports only from GLIBCXX_3.4.30 on; hosts on
// older systems could not load us. This local definition takes the calls
// instead. The linker version script keeps it out of the exports, so it
// never replaces the host's own.
#include <cstdio>
#include <cstdlib>

// NOLINTNEXTLINE(cert-dcl58-cpp): the one libstdc++ hook we must provide.
namespace std {

// The GNU spelling of noreturn, as libstdc++ declares it: clang refuses a
// [[noreturn]] that the first declaration lacks.
__attribute__((__noreturn__)) void __glibcxx_assert_fail(const char* file, int line,
                                                         const char* function,
                                                         const char* condition) noexcept {
  // On the way to abort there is nothing to do should the message fail.
  static_cast<void>(std::fprintf(stderr,
                                 "libVivodStubCollectReader: %s:%d: %s: Assertion '%s' failed.\n",
                                 file, line, function, condition));
  std::abort();
}

}  // namespace std
