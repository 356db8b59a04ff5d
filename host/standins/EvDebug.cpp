// Stand-in for the host's libDivorar: EvDebug writes one line per DebugLvl
// call to standard error, "<function> [<level>] <message>", or hands it to
// a test's capture (EvDebugControl.h). For tests and the example host.
#include "EvDebug.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <utility>
#include <vector>

#include "standins/EvDebugControl.h"

namespace {

// Conversions on several threads may log at once while a test captures.
std::atomic<bool> g_capturing{false};
std::atomic<bool> g_discarding{false};
std::mutex g_capturedMutex;
std::vector<standin::DebugEvent> g_captured;

void Capture(standin::DebugEvent event) {
  const std::lock_guard<std::mutex> lock(g_capturedMutex);
  g_captured.push_back(std::move(event));
}

// "<function> [<level>] ", the start of every line.
void AppendLineStart(std::string* line, const char* function, int level) {
  if (function != nullptr) line->append(function);
  line->append(" [").append(std::to_string(level)).append("] ");
}

// Formats onto the end of `out`: into a small buffer first, as nearly every
// message fits, and a longer one again straight into `out`, grown to its
// length. Growing `out` to its whole capacity instead would fill it anew for
// every message, however short, once one message had been long.
void AppendFormatted(std::string* out, const char* format, va_list args) {
  char small[512];
  va_list again;
  va_copy(again, args);
  const int length = std::vsnprintf(small, sizeof small, format, args);
  const std::size_t size = length > 0 ? static_cast<std::size_t>(length) : 0;
  if (size < sizeof small) {
    out->append(small, size);
  } else {
    const std::size_t start = out->size();
    out->resize(start + size);
    std::vsnprintf(&(*out)[start], size + 1, format, again);
  }
  va_end(again);
}

}  // namespace

namespace standin {

void StartDebugCapture() {
  const std::lock_guard<std::mutex> lock(g_capturedMutex);
  g_captured.clear();
  g_capturing = true;
}

std::vector<DebugEvent> StopDebugCapture() {
  const std::lock_guard<std::mutex> lock(g_capturedMutex);
  g_capturing = false;
  return std::exchange(g_captured, {});
}

void DiscardDebugLines(bool discard) { g_discarding = discard; }

std::string FormatDebugLine(const std::string& function, int level, const std::string& message) {
  std::string line;
  AppendLineStart(&line, function.c_str(), level);
  return line + message + "\n";
}

}  // namespace standin

EvDebug::EvDebug(EvDebugFileInstance* instance) : m_instance(instance) {
  if (g_capturing) Capture({"construct", m_instance == nullptr, "", 0, ""});
}

EvDebug::~EvDebug() {
  if (g_capturing) Capture({"destroy", false, "", 0, ""});
}

void EvDebug::DebugLvl(const char* function, int level, const char* format, ...) {
  if (g_discarding) return;
  m_line.clear();
  AppendLineStart(&m_line, function, level);
  const std::size_t start = m_line.size();
  va_list args;
  va_start(args, format);
  AppendFormatted(&m_line, format, args);
  va_end(args);
  if (g_capturing) {
    Capture({"line", false, function != nullptr ? function : "", level, m_line.substr(start)});
    return;
  }
  // One write per line: stdio's lock keeps lines of objects on different
  // threads whole, and stderr is unbuffered, so nothing waits for a flush.
  m_line.push_back('\n');
  std::fwrite(m_line.data(), 1, m_line.size(), stderr);
}
