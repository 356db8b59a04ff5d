// The host's debug log writer, the way the reader calls it: the stub
// conversion logs one line per path it writes.
//
// The public member functions are the contract with the host's libDivorar:
// the reader relies on them and on nothing else. The private sections are
// the layout of our stand-in (host/standins), not the host's. The reader
// keeps an EvDebug by value on its stack, so it must be compiled
// against the layout of the library it is loaded with: a build for a host
// uses the host's own headers through VSCR_HOST_SDK_DIR, and then this
// folder plays no part. A reader built against this header must not be
// loaded with a host libDivorar whose classes are larger than declared here:
// they would overrun the reader's stack. vscr-host-check, run with the
// host's libraries, shows such a mismatch.
#ifndef HOST_EVDEBUG_H_
#define HOST_EVDEBUG_H_

#include <string>

// A log file of the host's own; opaque to the reader, which passes null.
class EvDebugFileInstance;

class EvDebug {
 public:
  // A null `instance` selects the host's default destination.
  explicit EvDebug(EvDebugFileInstance* instance);
  EvDebug(const EvDebug&) = delete;
  EvDebug& operator=(const EvDebug&) = delete;
  // Every line logged through this object has been written out by the time
  // the destructor returns.
  ~EvDebug();

  // Logs one line tagged with `function` and `level`; the message is
  // formatted from `format` and the arguments as printf does.
  void DebugLvl(const char* function, int level, const char* format, ...)
      __attribute__((format(printf, 4, 5)));

 private:
  // Our stand-in's layout (see the top of this file).
  EvDebugFileInstance* m_instance;
  std::string m_pending;  // Lines not yet written out.
};

#endif  // HOST_EVDEBUG_H_
