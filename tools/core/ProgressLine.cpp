// The progress line (ProgressLine.h).
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <utility>
#include <vector>

#include "ProgressLine.h"

namespace {

template <typename... Values>
std::string Format(const char* format, Values... values) {
  char text[64];
  std::snprintf(text, sizeof text, format, values...);
  return text;
}

std::string Mebibytes(uint64_t bytes) {
  return Format("%.1f MiB", static_cast<double>(bytes) / 1048576);
}

}  // namespace

bool ShowsProgress(bool asked) {
  return asked || (::isatty(STDERR_FILENO) && !::isatty(STDOUT_FILENO));
}

bool WriteToStandardError(const std::string& text) {
  for (std::size_t done = 0; done < text.size();) {
    const ssize_t n = ::write(STDERR_FILENO, text.data() + done, text.size() - done);
    if (n <= 0 && errno != EINTR) return false;
    done += n > 0 ? static_cast<std::size_t>(n) : 0;
  }
  return true;
}

ProgressLine::ProgressLine(bool shown, uint64_t begin, std::optional<uint64_t> end, Writer write,
                           std::function<Clock::time_point()> now, Width width)
    : m_shown(shown), m_begin(begin), m_end(end && *end < begin ? begin : end),
      m_write(write ? std::move(write) : Writer(WriteToStandardError)), m_now(std::move(now)),
      m_width(std::move(width)), m_start(m_now()), m_nextDraw(m_start + kRefresh),
      m_checkAt(begin + kBytesPerCheck) {}

std::size_t ProgressLine::Room() const {
  winsize size{};
  const std::size_t columns = m_width ? m_width()
                              : ::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 ? size.ws_col : 0;
  return columns > 0 ? columns - 1 : std::string::npos;
}

void ProgressLine::Clear() {
  // Blanks past a terminal that has narrowed since would wrap.
  if (m_drawn > 0) m_write("\r" + std::string(std::min(m_drawn, Room()), ' ') + "\r");
  m_drawn = 0;
  m_shown = false;
}

void ProgressLine::Check(uint64_t offset, unsigned long records) {
  m_countdown = kRecordsPerCheck;
  m_checkAt = offset + kBytesPerCheck;
  const Clock::time_point now = m_now();
  if (now < m_nextDraw) return;
  m_nextDraw = now + kRefresh;
  const std::size_t room = Room();
  std::string text = Text(offset, records, std::chrono::duration<double>(now - m_start).count(), room);
  text.resize(std::max(text.size(), std::min(m_drawn, room)), ' ');  // over a longer line before
  m_shown = m_write("\r" + text);  // standard error gone, the walk goes on without it
  m_drawn = m_shown ? text.size() : 0;
}

// The parts in the order shown, each with its rank: the highest go first
// when the line does not fit, so that the share and the time left stay.
std::string ProgressLine::Text(uint64_t offset, unsigned long records, double seconds,
                               std::size_t room) const {
  const uint64_t done = std::min(offset, m_end.value_or(offset)) - std::min(offset, m_begin);
  const double total = static_cast<double>(m_end.value_or(0) - m_begin);
  std::vector<std::pair<int, std::string>> parts = {{3, Mebibytes(done)}};
  if (m_end) {
    parts[0].second += " of " + Mebibytes(*m_end - m_begin);
    const double share = total > 0 ? 100.0 * static_cast<double>(done) / total : 100.0;
    parts.emplace_back(0, Format("%.0f %%", share));
  }
  parts.emplace_back(2, std::to_string(records) + " records");
  parts.emplace_back(4, Format("%.0f records/s", static_cast<double>(records) / seconds));
  if (m_end && done > 0) {
    const auto left = static_cast<unsigned long long>((total - static_cast<double>(done)) * seconds /
                                                          static_cast<double>(done) + 0.5);
    parts.emplace_back(1, Format("%llu:%02llu:%02llu left", left / 3600, left / 60 % 60, left % 60));
  }
  for (int drop = 5;; --drop) {
    std::string text;
    for (const auto& [rank, part] : parts) {
      if (rank < drop) text += (text.empty() ? "" : ", ") + part;
    }
    if (text.size() <= room || drop == 1) return text.substr(0, room);
  }
}
