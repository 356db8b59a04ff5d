// The host's debug log writer, the way the reader calls it: the stub
// conversion logs one line per path it writes.
// The public members are the contract with the host's libDivorar; the
// private ones are our stand-in's layout. Read host/README.md before
// loading a reader built against this header with any other libDivorar.
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
#ifdef VSCR_HOST_PADDING  // a larger layout, for the check of a foreign host SDK
  [[maybe_unused]] char m_padding[VSCR_HOST_PADDING] = {};
#endif
  EvDebugFileInstance* m_instance;
  std::string m_line;  // the line being logged; its room is reused
};

#endif  // HOST_EVDEBUG_H_
