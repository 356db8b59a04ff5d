// Declaration of the host's debug log writer, as the host's libDivorar
// provides it. The stub conversion logs one line per path it writes.
//
// Every member function is defined in libDivorar, none inline here: the host's
// own library replaces our stand-in at load time without a rebuild of the
// reader. Keep these declarations in step with the host's.
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
  EvDebugFileInstance* m_instance;
  std::string m_pending;  // Lines not yet written out.
};

#endif  // HOST_EVDEBUG_H_
