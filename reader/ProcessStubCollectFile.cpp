// Conversion of a stub collect file into a plain list of paths.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "ByteCount.h"
#include "EvDebug.h"
#include "HostSettings.h"
#include "LineLimits.h"
#include "PosixFile.h"
#include "VivodStubCollectReader.h"

namespace {

using vscr::kConversionBlockSize;
using vscr::kConversionOutputSize;
using vscr::kLogFormat;
using vscr::kLogFunction;
using vscr::kLogLevel;
using vscr::kMaxLineLength;
using vscr::PosixFile;

constexpr char kOpenInputFailed[] = "Failed to open input file [";
constexpr char kOpenOutputFailed[] = "Failed to open output file [";
constexpr char kReadInputFailed[] = "Failed to read input file [";
constexpr char kWriteOutputFailed[] = "Failed to write output file [";
constexpr char kSameFile[] = "Input and output are the same file [";
constexpr char kMessageEnd[] = "].";


// One line in the reader's buffer, without its line feed. The byte at
// data[size] belongs to the buffer too (the line feed, or a spare byte after
// a last line without one), so a path can be cut in place with a NUL.
struct Line {
  char* data;
  std::size_t size;
};

// Hands out the lines of a file one at a time, in one pass. The buffer
// grows only when a single line does not fit, up to the longest line kept,
// so memory stays bounded whatever the file holds.
class LineReader {
 public:
  explicit LineReader(PosixFile* file) : m_file(file), m_buffer(kConversionBlockSize + 1) {}

  // Sets `line` to the next line; it stays valid, and writable, until the
  // next call. A last line without a line feed is a line like the others;
  // a line longer than kMaxLineLength is passed over.
  // False at the end of the file, or on a read error (then failed()).
  bool Next(Line* line);
  bool failed() const { return m_failed; }

 private:
  bool Refill();
  // Drops the line being assembled; the rest of it is passed over.
  void SkipLine();

  PosixFile* m_file;
  std::vector<char> m_buffer;  // always one byte more than is ever read
  std::size_t m_begin = 0;     // start of the line being assembled
  std::size_t m_scanned = 0;   // bytes before this hold no line feed
  std::size_t m_end = 0;       // end of the bytes read
  bool m_atEnd = false;
  bool m_failed = false;
  bool m_skipping = false;  // inside a line too long to keep
};

bool LineReader::Next(Line* line) {
  for (;;) {
    char* const base = m_buffer.data();
    void* const feed = std::memchr(base + m_scanned, '\n', m_end - m_scanned);
    if (feed != nullptr) {
      const std::size_t at = static_cast<std::size_t>(static_cast<char*>(feed) - base);
      char* const start = base + m_begin;
      const std::size_t length = at - m_begin;
      m_begin = m_scanned = at + 1;
      // The end of a line passed over, however far it lies from where the
      // skip began: the line after it is a line of its own.
      if (m_skipping) {
        m_skipping = false;
        continue;
      }
      if (length > kMaxLineLength) continue;
      *line = Line{start, length};
      return true;
    }
    m_scanned = m_end;
    if (m_end - m_begin > kMaxLineLength) SkipLine();
    if (m_atEnd) {
      if (m_begin == m_end || m_skipping) return false;
      *line = Line{base + m_begin, m_end - m_begin};  // the spare byte follows
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
  const std::size_t room = m_buffer.size() - 1;  // the spare byte is never read into
  if (m_end == room) {
    m_buffer.resize(std::min(room * 2, kMaxLineLength + kConversionBlockSize) + 1);
  }
  const long n = m_file->Read(m_buffer.data() + m_end, m_buffer.size() - 1 - m_end);
  if (n < 0) {
    m_failed = true;
    return false;
  }
  m_atEnd = n == 0;
  m_end += static_cast<std::size_t>(n);
  return true;
}

// Gathers output lines and writes them in large blocks; a line too long for
// the block is written straight through. A call that fails is the last:
// the conversion stops at its first failed write.
class LineWriter {
 public:
  explicit LineWriter(PosixFile* file) : m_file(file), m_buffer(kConversionOutputSize) {}

  // Writes `text` and a line feed. The byte at text[length] is the caller's
  // and may be overwritten: a line written straight through takes its line
  // feed there, in the same write.
  bool WriteLine(char* text, std::size_t length) {
    if (length >= m_buffer.size() - m_used) {
      if (!Flush()) return false;
      if (length >= m_buffer.size()) return WriteThrough(text, length);
    }
    std::memcpy(m_buffer.data() + m_used, text, length);
    m_used += length;
    m_buffer[m_used++] = '\n';
    return true;
  }

  bool Flush() {
    const std::size_t used = m_used;
    m_used = 0;
    return m_file->WriteAll(m_buffer.data(), used);
  }

 private:
  bool WriteThrough(char* text, std::size_t length) {
    text[length] = '\n';
    return m_file->WriteAll(text, length + 1);
  }

  PosixFile* m_file;
  std::vector<char> m_buffer;
  std::size_t m_used = 0;
};

// The last ':' of the eight bytes at `word`, which hold one (`bits`).
const char* LastColonOfWord(const char* word, uint64_t bits) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
  // The byte at the highest address is the most significant.
  return word + (63 - __builtin_clzll(bits)) / 8;
#else
  const char* end = word + 8;
  while (*--end != ':') {}
  return bits != 0 ? end : nullptr;
#endif
}

// The last ':' in [from, end), or null. Searched backwards eight bytes at a
// time: the last ':' of a path usually starts a short suffix, and a byte at
// a time, or forward memchr calls, would cost several times as much.
const char* LastColon(const char* from, const char* end) {
  for (; end - from >= 8; end -= 8) {
    uint64_t word;
    std::memcpy(&word, end - 8, sizeof word);
    const uint64_t bits = vscr::MatchBits(word, ':');
    if (bits != 0) return LastColonOfWord(end - 8, bits);
  }
  while (end != from) {
    if (*--end == ':') return end;
  }
  return nullptr;
}

// The path of one stub collect line: the bytes after the first delimiter up
// to the last ':' after it. Its size is zero when the line yields no path.
Line PathOfLine(Line line, char delimiter) {
  if (line.size == 0) return {};
  // One CR or TAB ends the line before the delimiter is looked for, so a
  // TAB delimiter that ends the line is no split point.
  const char last = line.data[line.size - 1];
  if (last == '\r' || last == '\t') --line.size;
  char* const split = static_cast<char*>(std::memchr(line.data, delimiter, line.size));
  if (split == nullptr) return {};
  char* const path = split + 1;
  const char* const end = line.data + line.size;
  const char* const colon = LastColon(path, end);
  return Line{path, static_cast<std::size_t>((colon != nullptr ? colon : end) - path)};
}

enum class Outcome { kDone, kReadFailed, kWriteFailed };

Outcome ConvertLines(PosixFile* input, PosixFile* output, char delimiter,
                     const std::string& outputFile, EvDebug* log) {
  LineReader lines(input);
  LineWriter paths(output);
  for (Line line{}; lines.Next(&line);) {
    const Line path = PathOfLine(line, delimiter);
    if (path.size == 0) continue;
    // The log writer takes NUL-terminated text: the byte after the path is
    // within the line's buffer (a ':', CR, TAB, line feed or the spare byte),
    // and no longer needed.
    path.data[path.size] = '\0';
    // The path is an argument, never the format: '%' in it stays as it is.
    log->DebugLvl(kLogFunction, kLogLevel, kLogFormat, path.data, outputFile.c_str());
    if (!paths.WriteLine(path.data, path.size)) return Outcome::kWriteFailed;
  }
  // Keep what was converted before a read error: the caller is told that
  // reading stopped, not that nothing was written.
  const bool flushed = paths.Flush();
  if (lines.failed()) return Outcome::kReadFailed;
  return flushed ? Outcome::kDone : Outcome::kWriteFailed;
}

// The message of a conversion that ran to its end; empty when it succeeded.
std::string FailureOf(Outcome outcome, const std::string& inputFile,
                      const std::string& outputFile) {
  if (outcome == Outcome::kReadFailed) return kReadInputFailed + inputFile + kMessageEnd;
  if (outcome == Outcome::kWriteFailed) return kWriteOutputFailed + outputFile + kMessageEnd;
  return std::string();
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
  const bool closed = output.Close();
  if (outcome == Outcome::kDone && !closed) outcome = Outcome::kWriteFailed;
  const std::string failure = FailureOf(outcome, inputFile, outputFile);
  if (failure.empty()) return true;
  m_lastError = failure;
  return false;
}
