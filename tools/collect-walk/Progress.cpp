#include "Progress.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <utility>

namespace {

// Writes all of `text` to standard error, as the one write it nearly
// always is; an interrupted write is tried again.
bool WriteToStandardError(const std::string& text) {
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = ::write(STDERR_FILENO, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

std::string Format(const char* format, double value) {
  char text[64];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

std::string Mebibytes(uint64_t bytes) {
  return Format("%.1f MiB", static_cast<double>(bytes) / (1024.0 * 1024.0));
}

// "M:SS", or "H:MM:SS" from an hour on.
std::string Duration(double seconds) {
  const auto whole = static_cast<unsigned long long>(seconds + 0.5);
  char text[64];
  if (whole >= 3600) {
    std::snprintf(text, sizeof text, "%llu:%02llu:%02llu", whole / 3600, whole / 60 % 60,
                  whole % 60);
  } else {
    std::snprintf(text, sizeof text, "%llu:%02llu", whole / 60, whole % 60);
  }
  return text;
}

}  // namespace

bool ShowsProgress(bool asked) {
  return asked || (::isatty(STDERR_FILENO) == 1 && ::isatty(STDOUT_FILENO) != 1);
}

ProgressLine::ProgressLine(bool shown, uint64_t begin, std::optional<uint64_t> end, Writer write,
                           std::function<Clock::time_point()> now)
    : m_shown(shown),
      m_begin(begin),
      m_end(end && *end < begin ? begin : end),
      m_write(write ? std::move(write) : Writer(WriteToStandardError)),
      m_now(std::move(now)),
      m_start(m_now()),
      m_nextDraw(m_start + kRefresh),
      m_checkAt(begin + kBytesPerCheck) {}

void ProgressLine::Clear() {
  if (m_drawn > 0) m_write("\r" + std::string(m_drawn, ' ') + "\r");
  m_drawn = 0;
  m_shown = false;
}

void ProgressLine::Check(uint64_t offset, unsigned long records) {
  m_countdown = kRecordsPerCheck;
  m_checkAt = offset + kBytesPerCheck;
  const Clock::time_point now = m_now();
  if (now < m_nextDraw) return;
  m_nextDraw = now + kRefresh;
  std::string text = Text(offset, records, now - m_start);
  // Blanks cover what a longer line before left on the screen.
  if (text.size() < m_drawn) text.append(m_drawn - text.size(), ' ');
  if (!m_write("\r" + text)) {
    m_shown = false;  // standard error is gone; the walk goes on without it
    m_drawn = 0;
    return;
  }
  m_drawn = text.size();
}

std::string ProgressLine::Text(uint64_t offset, unsigned long records,
                               Clock::duration elapsed) const {
  const double seconds = std::chrono::duration<double>(elapsed).count();
  const uint64_t reached = m_end && offset > *m_end ? *m_end : offset;
  const uint64_t done = reached > m_begin ? reached - m_begin : 0;
  std::string text = Mebibytes(done);
  if (m_end) {
    const uint64_t total = *m_end - m_begin;
    const double share = total > 0 ? static_cast<double>(done) / static_cast<double>(total) : 1.0;
    text += " of " + Mebibytes(total) + Format(" (%.0f %%)", share * 100.0);
  }
  text += ", " + std::to_string(records) + " records, " +
          Format("%.0f records/s", static_cast<double>(records) / seconds);
  if (m_end && done > 0) {
    const double rest = static_cast<double>(*m_end - m_begin - done);
    text += ", " + Duration(rest * seconds / static_cast<double>(done)) + " left";
  }
  return text;
}
