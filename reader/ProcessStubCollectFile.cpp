// Conversion of a stub collect file into a plain list of paths.
#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "EvDebug.h"
#include "LineLimits.h"
#include "PosixFile.h"
#include "VivodStubCollectReader.h"

namespace {

using vscr::kMaxLineLength;
using vscr::PosixFile;

constexpr char kLogFunction[] = "VivodStubCollectReader::ProcessStubCollectFile";
constexpr int kLogLevel = 2;
constexpr char kLogFormat[] = "Writing %s to file [%s].";

constexpr char kOpenInputFailed[] = "Failed to open input file [";
constexpr char kOpenOutputFailed[] = "Failed to open output file [";
constexpr char kReadInputFailed[] = "Failed to read input file [";
constexpr char kWriteOutputFailed[] = "Failed to write output file [";
constexpr char kSameFile[] = "Input and output are the same file [";
constexpr char kMessageEnd[] = "].";

constexpr std::size_t kBlockSize = std::size_t{64} * 1024;

// Hands out the lines of a file one at a time, in one pass. The buffer
// grows only when a single line does not fit, up to the longest line kept,
// so memory stays bounded whatever the file holds.
class LineReader {
 public:
  explicit LineReader(PosixFile* file) : m_file(file), m_buffer(kBlockSize) {}

  // Sets `line` to the next line without its line feed; it stays valid until
  // the next call. A last line without a line feed is a line like the others;
  // a line longer than kMaxLineLength is passed over.
  // False at the end of the file, or on a read error (then failed()).
  bool Next(std::string_view* line);
  bool failed() const { return m_failed; }

 private:
  bool Refill();
  // Drops the line being assembled; the rest of it is passed over.
  void SkipLine();

  PosixFile* m_file;
  std::vector<char> m_buffer;
  std::size_t m_begin = 0;    // start of the line being assembled
  std::size_t m_scanned = 0;  // bytes before this hold no line feed
  std::size_t m_end = 0;      // end of the bytes read
  bool m_atEnd = false;
  bool m_failed = false;
  bool m_skipping = false;  // inside a line too long to keep
};

bool LineReader::Next(std::string_view* line) {
  for (;;) {
    const char* const base = m_buffer.data();
    const void* feed = std::memchr(base + m_scanned, '\n', m_end - m_scanned);
    if (feed != nullptr) {
      const std::size_t at = static_cast<std::size_t>(static_cast<const char*>(feed) - base);
      const char* const start = base + m_begin;
      const std::size_t length = at - m_begin;
      m_begin = m_scanned = at + 1;
      if (std::exchange(m_skipping, false) || length > kMaxLineLength) continue;
      *line = std::string_view(start, length);
      return true;
    }
    m_scanned = m_end;
    if (m_end - m_begin > kMaxLineLength) SkipLine();
    if (m_atEnd) {
      if (m_begin == m_end || m_skipping) return false;
      *line = std::string_view(base + m_begin, m_end - m_begin);
      m_begin = m_end;
      return true;
    }
    if (!Refill()) return false;
  }
}

void LineReader::SkipLine() {
  m_skipping = true;
  m_begin = m_scanned = m_end;
}

bool LineReader::Refill() {
  const std::size_t pending = m_end - m_begin;
  if (m_begin > 0) {  // keep only the unfinished line, at the front
    std::memmove(m_buffer.data(), m_buffer.data() + m_begin, pending);
    m_scanned -= m_begin;
    m_begin = 0;
    m_end = pending;
  }
  if (m_end == m_buffer.size()) {
    m_buffer.resize(std::min(m_buffer.size() * 2, kMaxLineLength + kBlockSize));
  }
  const long n = m_file->Read(m_buffer.data() + m_end, m_buffer.size() - m_end);
  if (n < 0) {
    m_failed = true;
    return false;
  }
  m_atEnd = n == 0;
  m_end += static_cast<std::size_t>(n);
  return true;
}

// Gathers output lines and writes them in large blocks. After the first
// failed write it writes nothing more and reports false.
class LineWriter {
 public:
  explicit LineWriter(PosixFile* file) : m_file(file) { m_buffer.reserve(2 * kBlockSize); }

  bool WriteLine(std::string_view text) {
    m_buffer.append(text.data(), text.size());
    m_buffer.push_back('\n');
    return m_buffer.size() < kBlockSize || Flush();
  }

  bool Flush() {
    m_ok = m_ok && m_file->WriteAll(m_buffer.data(), m_buffer.size());
    m_buffer.clear();
    return m_ok;
  }

 private:
  PosixFile* m_file;
  std::string m_buffer;
  bool m_ok = true;
};

// The path of one stub collect line: the bytes after the first delimiter up
// to the last ':' after it. Empty when the line yields no path.
std::string_view PathOfLine(std::string_view line, char delimiter) {
  if (line.empty()) return {};
  // One CR or TAB ends the line before the delimiter is looked for, so a
  // TAB delimiter that ends the line is no split point.
  if (line.back() == '\r' || line.back() == '\t') line.remove_suffix(1);
  const std::size_t split = line.find(delimiter);
  if (split == std::string_view::npos) return {};
  const std::string_view rest = line.substr(split + 1);
  return rest.substr(0, rest.rfind(':'));
}

enum class Outcome { kDone, kReadFailed, kWriteFailed };

Outcome ConvertLines(PosixFile* input, PosixFile* output, char delimiter,
                     const std::string& outputFile, EvDebug* log) {
  LineReader lines(input);
  LineWriter paths(output);
  std::string path;  // the log writer takes NUL-terminated text
  for (std::string_view line; lines.Next(&line);) {
    const std::string_view found = PathOfLine(line, delimiter);
    if (found.empty()) continue;
    path.assign(found);
    // The path is an argument, never the format: '%' in it stays as it is.
    log->DebugLvl(kLogFunction, kLogLevel, kLogFormat, path.c_str(), outputFile.c_str());
    if (!paths.WriteLine(found)) return Outcome::kWriteFailed;
  }
  // Keep what was converted before a read error: the caller is told that
  // reading stopped, not that nothing was written.
  const bool flushed = paths.Flush();
  if (lines.failed()) return Outcome::kReadFailed;
  return flushed ? Outcome::kDone : Outcome::kWriteFailed;
}

}  // namespace

bool VivodStubCollectReader::ProcessStubCollectFile(const std::string& inputFile,
                                                    const std::string& outputFile,
                                                    char delimiter) {
  EvDebug log(nullptr);  // lives until both files are closed
  PosixFile input = PosixFile::OpenForReading(inputFile);
  if (!input.is_open() || input.IsDirectory()) {
    m_lastError = kOpenInputFailed + inputFile + kMessageEnd;
    return false;
  }
  // Opening the output cuts it to length zero: were it the input, the input
  // would be lost before a single line is read. So an output that cannot be
  // examined, and might be the input, is not opened either.
  const PosixFile::Identity identity = input.CompareWith(outputFile);
  if (identity == PosixFile::Identity::kSame) {
    m_lastError = kSameFile + inputFile + kMessageEnd;
    return false;
  }
  if (identity == PosixFile::Identity::kUnknown) {
    m_lastError = kOpenOutputFailed + outputFile + kMessageEnd;
    return false;
  }
  PosixFile output = PosixFile::CreateTruncated(outputFile);
  if (!output.is_open()) {
    m_lastError = kOpenOutputFailed + outputFile + kMessageEnd;
    return false;
  }
  Outcome outcome = ConvertLines(&input, &output, delimiter, outputFile, &log);
  input.Close();
  if (!output.Close() && outcome == Outcome::kDone) outcome = Outcome::kWriteFailed;
  switch (outcome) {
    case Outcome::kReadFailed:
      m_lastError = kReadInputFailed + inputFile + kMessageEnd;
      return false;
    case Outcome::kWriteFailed:
      m_lastError = kWriteOutputFailed + outputFile + kMessageEnd;
      return false;
    case Outcome::kDone:
      break;
  }
  return true;
}
