// Preloaded into vscr-host-check, a host library whose FetchIndexInfo
// constructor never returns, as one that waits for an unreachable service
// would hang.
#include <unistd.h>

extern "C" void HangingFetchIndexInfoConstructor(void*) __asm__("_ZN14FetchIndexInfoC1Ev");
extern "C" void HangingFetchIndexInfoConstructor(void*) {
  for (;;) ::pause();
}
