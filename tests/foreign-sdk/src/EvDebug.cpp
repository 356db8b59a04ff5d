#include "EvDebug.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

EvDebug::EvDebug(EvDebugFileInstance* instance)
    : m_instance(instance), m_lines(0), m_minimumLevel(0) {
  std::memset(m_tag, 0, sizeof m_tag);
  std::snprintf(m_tag, sizeof m_tag, "%s", m_instance == nullptr ? "default" : "file");
}

EvDebug::~EvDebug() { std::fflush(stderr); }

void EvDebug::DebugLvl(const char* function, int level, const char* format, ...) {
  if (level < m_minimumLevel) return;
  va_list args;
  va_start(args, format);
  va_list again;
  va_copy(again, args);
  const int length = std::vsnprintf(nullptr, 0, format, args);
  va_end(args);
  std::string message(length > 0 ? static_cast<std::size_t>(length) + 1 : 1, '\0');
  std::vsnprintf(&message[0], message.size(), format, again);
  va_end(again);
  std::fprintf(stderr, "[%s] %s (%d): %s\n", m_tag, function != nullptr ? function : "", level,
               message.c_str());
  ++m_lines;
}
