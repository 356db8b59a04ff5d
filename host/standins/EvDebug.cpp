// Stand-in for the host's libDivorar: EvDebug writes one line per DebugLvl
// call to standard error. For tests and the example host only: a reader for
// a host is built against the host's headers (VSCR_HOST_SDK_DIR).
//
// Lines are gathered in a buffer and written out in large blocks, and
// whatever remains when the object is destroyed, so that logging a long
// conversion costs no system call per line.
#include "EvDebug.h"

#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <utility>
#include <vector>

#include "standins/EvDebugControl.h"

namespace {

constexpr std::size_t kFlushThreshold = 64 * 1024;

// Conversions on several threads may log at once while a test captures.
std::atomic<bool> g_capturing{false};
std::mutex g_capturedMutex;
std::vector<standin::DebugEvent>& Captured() {
  static std::vector<standin::DebugEvent> events;
  return events;
}

void Capture(standin::DebugEvent event) {
  const std::lock_guard<std::mutex> lock(g_capturedMutex);
  Captured().push_back(std::move(event));
}

void WriteAll(int fd, const std::string& text) {
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;  // a log writer has nobody to report its own failure to
    done += static_cast<std::size_t>(n);
  }
}

std::string FormatMessage(const char* format, va_list args) {
  va_list probe;
  va_copy(probe, args);
  char small[512];
  const int length = std::vsnprintf(small, sizeof small, format, probe);
  va_end(probe);
  if (length < 0) return std::string();
  if (static_cast<std::size_t>(length) < sizeof small) {
    return std::string(small, static_cast<std::size_t>(length));
  }
  std::string message(static_cast<std::size_t>(length) + 1, '\0');
  std::vsnprintf(&message[0], message.size(), format, args);
  message.pop_back();
  return message;
}

// The level as std::to_string writes it.
void AppendDecimal(int value, std::string* out) {
  char digits[12];
  char* const end = digits + sizeof digits;
  char* first = end;
  unsigned magnitude = value < 0 ? 0u - static_cast<unsigned>(value) : static_cast<unsigned>(value);
  do {
    *--first = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  if (value < 0) *--first = '-';
  out->append(first, static_cast<std::size_t>(end - first));
}

// True when the format holds no conversion but "%s" and "%%", as the
// reader's own does.
bool IsPlainFormat(const char* format) {
  for (const char* p = std::strchr(format, '%'); p != nullptr; p = std::strchr(p + 2, '%')) {
    if (p[1] != 's' && p[1] != '%') return false;
  }
  return true;
}

// Lays out a plain format as printf does, a null string as "(null)":
// for such formats vsnprintf's general machinery costs more than the
// copying itself.
void AppendPlainFormatted(const char* format, va_list args, std::string* out) {
  const char* text = format;
  for (const char* p; (p = std::strchr(text, '%')) != nullptr; text = p + 2) {
    out->append(text, static_cast<std::size_t>(p - text));
    if (p[1] == '%') {
      out->push_back('%');
    } else {
      const char* const arg = va_arg(args, const char*);
      out->append(arg != nullptr ? arg : "(null)");
    }
  }
  out->append(text);
}

// Formats straight into the spare room at the end of `out`, growing it
// only when the message does not fit.
void AppendFormatted(const char* format, va_list args, std::string* out) {
  if (IsPlainFormat(format)) {
    AppendPlainFormatted(format, args, out);
    return;
  }
  constexpr std::size_t kRoom = 512;
  const std::size_t start = out->size();
  va_list probe;
  va_copy(probe, args);
  out->resize(start + kRoom);
  const int length = std::vsnprintf(&(*out)[start], kRoom, format, probe);
  va_end(probe);
  if (length < 0) {
    out->resize(start);
    return;
  }
  const std::size_t size = static_cast<std::size_t>(length);
  if (size >= kRoom) {
    out->resize(start + size + 1);
    std::vsnprintf(&(*out)[start], size + 1, format, args);
  }
  out->resize(start + size);
}

}  // namespace

namespace standin {

void StartDebugCapture() {
  const std::lock_guard<std::mutex> lock(g_capturedMutex);
  Captured().clear();
  g_capturing = true;
}

std::vector<DebugEvent> StopDebugCapture() {
  const std::lock_guard<std::mutex> lock(g_capturedMutex);
  g_capturing = false;
  std::vector<DebugEvent> events;
  events.swap(Captured());
  return events;
}

std::string FormatDebugLine(const std::string& function, int level,
                            const std::string& message) {
  return function + " [" + std::to_string(level) + "] " + message + "\n";
}

}  // namespace standin

EvDebug::EvDebug(EvDebugFileInstance* instance) : m_instance(instance) {
  if (g_capturing) {
    standin::DebugEvent event;
    event.kind = "construct";
    event.nullInstance = m_instance == nullptr;
    Capture(std::move(event));
  }
}

EvDebug::~EvDebug() {
  WriteAll(STDERR_FILENO, m_pending);
  if (g_capturing) {
    standin::DebugEvent event;
    event.kind = "destroy";
    Capture(std::move(event));
  }
}

void EvDebug::DebugLvl(const char* function, int level, const char* format,
                       ...) {
  va_list args;
  va_start(args, format);
  if (g_capturing) {
    standin::DebugEvent event;
    event.kind = "line";
    event.function = function != nullptr ? function : "";
    event.level = level;
    event.message = FormatMessage(format, args);
    va_end(args);
    Capture(std::move(event));
    return;
  }
  // The line is laid out in place at the end of the pending text, as
  // FormatDebugLine lays it out, so that a line costs no allocation.
  if (function != nullptr) m_pending += function;
  m_pending += " [";
  AppendDecimal(level, &m_pending);
  m_pending += "] ";
  AppendFormatted(format, args, &m_pending);
  va_end(args);
  m_pending += '\n';
  if (m_pending.size() >= kFlushThreshold) {
    WriteAll(STDERR_FILENO, m_pending);
    m_pending.clear();
  }
}
