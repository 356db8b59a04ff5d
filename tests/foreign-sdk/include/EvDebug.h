// The host's debug log writer, as this SDK declares it.
#ifndef FOREIGN_SDK_EVDEBUG_H_
#define FOREIGN_SDK_EVDEBUG_H_

class EvDebugFileInstance;

class EvDebug {
 public:
  explicit EvDebug(EvDebugFileInstance* instance);
  EvDebug(const EvDebug&) = delete;
  EvDebug& operator=(const EvDebug&) = delete;
  ~EvDebug();

  // Writes one line to standard error: the tag, the function, the level and
  // the message formatted as printf does.
  void DebugLvl(const char* function, int level, const char* format, ...)
      __attribute__((format(printf, 4, 5)));

 private:
  EvDebugFileInstance* m_instance;
  char m_tag[512];
  unsigned long m_lines;
  int m_minimumLevel;
};

#endif  // FOREIGN_SDK_EVDEBUG_H_
