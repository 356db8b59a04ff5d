// Preloaded into vscr-host-check, a host library whose destructor writes
// past its object: after the library's own destructor of the class that
// VSCR_OVERRUN_CLASS names, the byte just past the object (as the build's
// header sizes it) is overwritten, if it holds vscr-host-check's guard
// pattern, so that objects elsewhere (the elements of an array) stay whole.
#include <dlfcn.h>

#include <cstdlib>
#include <cstring>

#include "EvDebug.h"
#include "FetchIndexInfo.h"
#include "KaString.h"

namespace {

constexpr unsigned char kHostCheckGuardByte = 0xA5;

// Runs the library's own destructor, found behind this one, then writes
// past the object if the test asks for it. The byte past it is read and
// written on purpose, as a faulty host library would: AddressSanitizer,
// in a sanitized build, must let it through.
template <typename T>
__attribute__((no_sanitize("address"))) void DestroyAndOverrun(void* object, const char* className, const char* destructorSymbol) {
  using Destructor = void (*)(void*);
  const auto destroy = reinterpret_cast<Destructor>(::dlsym(RTLD_NEXT, destructorSymbol));
  if (destroy == nullptr) std::abort();
  destroy(object);
  const char* const chosen = std::getenv("VSCR_OVERRUN_CLASS");
  unsigned char* const behind = static_cast<unsigned char*>(object) + sizeof(T);
  if (chosen != nullptr && std::strcmp(chosen, className) == 0 &&
      *behind == kHostCheckGuardByte) {
    *behind = 0;
  }
}

}  // namespace

// The complete-object destructors, by their symbols: defined as members,
// they would destroy the members a second time after the library's own.
#define VSCR_WRAP_DESTRUCTOR(Class, symbol)                            \
  extern "C" void Wrapped##Class##Destructor(void*) __asm__(symbol);   \
  extern "C" void Wrapped##Class##Destructor(void* object) {          \
    DestroyAndOverrun<Class>(object, #Class, symbol);                  \
  }

VSCR_WRAP_DESTRUCTOR(CKaString, "_ZN9CKaStringD1Ev")
VSCR_WRAP_DESTRUCTOR(CKaStringArray, "_ZN14CKaStringArrayD1Ev")
VSCR_WRAP_DESTRUCTOR(EvDebug, "_ZN7EvDebugD1Ev")
VSCR_WRAP_DESTRUCTOR(FetchIndexInfo, "_ZN14FetchIndexInfoD1Ev")
