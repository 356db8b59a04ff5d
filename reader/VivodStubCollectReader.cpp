#include "VivodStubCollectReader.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <istream>
#include <limits>
#include <utility>

#include "ByteCount.h"
#include "CollectFileLookup.h"
#include "CollectFileNames.h"
#include "HostSettings.h"
#include "KaString.h"
#include "LineLimits.h"
#include "PosixFile.h"

namespace {

using vscr::CollectFileName;
using vscr::CollectFilePath;
using vscr::LookupOutcome;

// The default record layout of the index service's collect files. The
// metadata field's name ends in the decimal form of its signed 32-bit tag.
constexpr char kDefaultFieldListHead[] =
    "arch_group_id,arch_file_id,arch_file_offs,file_size,full_file_name,"
    "isvalid,metadata-";
constexpr int32_t kDefaultMetadataTag = -2048052319;  // bits 0x85ED33A1
constexpr int32_t kDefaultFieldCount = 7;
// The file name is the third field from the end of the field list.
constexpr int32_t kNameFromEnd = 3;
// So a field list needs at least that many fields to hold a name.
constexpr int32_t kMinFieldCount = kNameFromEnd;

constexpr std::size_t kLineReserve = 3072;
constexpr std::size_t kLineChunkSize = 4096;

constexpr char kFieldCountTooSmall[] = "Field count must be at least 3.";
constexpr char kInputMissing[] = "Input file is empty or not present.";
constexpr char kWorkDirHoldsNul[] = "Work directory holds a NUL byte.";
constexpr char kIndexInitFailed[] = "FetchIndexInfo failed to init.";
constexpr char kIndexLookupFailed[] =
    "FetchIndexInfo failed to lookup in Indexing.";
constexpr char kPublishFailed[] = "Failed to publish collect file ";
// "emtpy" is spelled so on purpose: hosts match the text as it has always
// been, so it must not be corrected.
constexpr char kEmptyCollectFile[] = "FetchIndexInfo returned emtpy file.";
constexpr char kCallInitializeFirst[] = "Call Initialize() first.";
constexpr char kNoCollectFileName[] = "m_dstFileName is empty.";
constexpr char kOpenFailed[] = "Failed to open collect file ";
constexpr char kCallInitializeAndOpenFirst[] =
    "Call Initialize() and Open() first.";
constexpr char kReadFailed[] = "Failed to read collect file ";
constexpr char kTooManyFields[] = "Collect file line with too many fields in ";
// "Retreived" is spelled so on purpose: hosts match the text as it has
// always been, so it must not be corrected.
constexpr char kEmptyLine[] = "Retreived empty line from collect file ";
constexpr char kMissingFields[] =
    "Could not find all desired fields in collect file entry";
constexpr char kSeekFailed[] = "Seek failed.";
constexpr char kOffsetUnavailable[] = "Read offset not available.";

// "Collect file line longer than 16777216 bytes in " and the file name,
// the number taken from the cap itself.
std::string LineTooLongMessage(const std::string& collectFile) {
  return "Collect file line longer than " + std::to_string(vscr::kMaxLineLength) +
         " bytes in " + collectFile;
}

std::string DefaultFieldList() {
  return kDefaultFieldListHead + std::to_string(kDefaultMetadataTag);
}

// The message of a lookup that did not publish the collect file.
std::string LookupFailure(LookupOutcome outcome, const std::string& collectPath) {
  if (outcome == LookupOutcome::kInitFailed) return kIndexInitFailed;
  if (outcome == LookupOutcome::kLookupFailed) return kIndexLookupFailed;
  return kPublishFailed + collectPath;
}

enum class LineStatus { kLine, kEnd, kTooLong, kReadError };

// Passes over the rest of a line whose start has been read; false on a read
// error. It allocates nothing, so it may run while an exception is on its
// way out.
bool SkipRestOfLine(std::istream& in) {
  in.clear();
  in.ignore(std::numeric_limits<std::streamsize>::max(), '\n');
  return !in.bad();
}

// Appends the next piece of the line being read to `text`. When that throws
// (std::bad_alloc on a long line), the rest of the line is passed over before
// the exception goes on: the next read starts at the following line, and no
// part of this one is ever taken for a record.
void AppendPiece(std::istream& in, const char* piece, std::size_t size, bool lineComplete,
                 std::string& text) {
  try {
    text.append(piece, size);
  } catch (...) {
    if (!lineComplete) SkipRestOfLine(in);
    throw;
  }
}

// Reads the next line of `in` into `text`, without its line feed. A line
// longer than kMaxLineLength is consumed up to its line feed but not kept.
// kEnd when no byte could be taken: the end of the file or a failed stream.
// A last line without a line feed leaves the stream at its end, not failed,
// as std::getline does.
LineStatus ReadCollectLine(std::istream& in, std::string& text) {
  char chunk[kLineChunkSize];
  for (;;) {
    in.getline(chunk, sizeof chunk);
    const auto taken = static_cast<std::size_t>(in.gcount());
    if (in.bad()) return LineStatus::kReadError;
    if (taken == 0) return LineStatus::kEnd;
    // getline fails a chunk that filled up before the line feed.
    const bool complete = !in.fail();
    const std::size_t stored = complete && !in.eof() ? taken - 1 : taken;
    if (text.size() + stored > vscr::kMaxLineLength) {
      if (!complete && !SkipRestOfLine(in)) return LineStatus::kReadError;
      return LineStatus::kTooLong;
    }
    AppendPiece(in, chunk, stored, complete, text);
    if (complete) return LineStatus::kLine;
    in.clear();
  }
}

// A CR or TAB that ends the name field is line-end debris of the tool that
// wrote the record, never part of a path; only one is taken off.
bool EndsInCrOrTab(const char* text, std::size_t length) {
  return length > 0 && (text[length - 1] == '\r' || text[length - 1] == '\t');
}

// Splits a record line and takes its file name, the field third from the
// end of the field list. False when the record has too few fields; then
// `fileName` is untouched, so the caller's own string can take the name
// and keep its storage from record to record.
bool ExtractFileName(const std::string& line, int32_t fieldCount,
                     std::string* fileName) {
  if (fieldCount < kMinFieldCount) return false;
  const CKaString record(line.c_str());
  CKaStringArray fields;
  record.Tokenize(fields, vscr::kFieldQuote, vscr::kFieldQuote, vscr::kFieldEscape,
                  vscr::kFieldSeparator, vscr::kTrimFields);
  if (fields.GetSize() < static_cast<std::size_t>(fieldCount)) return false;
  const auto index = static_cast<std::size_t>(fieldCount - kNameFromEnd);
  const char* const name = fields.GetAt(index).GetString();
  std::size_t length = std::strlen(name);
  if (EndsInCrOrTab(name, length)) --length;
  // assign keeps the storage of earlier names, and a failed allocation
  // leaves `fileName` as it was.
  fileName->assign(name, length);
  return true;
}

// Whether `line` holds more separators than a record of `fieldCount`
// fields can: splitting it would cost one host string per field, which a
// line of commas turns into gigabytes. A line too short to hold that many
// is not counted, so ordinary records pay one comparison.
bool HasTooManySeparators(const std::string& line, int32_t fieldCount) {
  const uint64_t limit = static_cast<uint64_t>(std::max<int64_t>(fieldCount, 0)) +
                         vscr::kSpareSeparators;
  return line.size() > limit && vscr::CountByte(line.data(), line.data() + line.size(), ',') > limit;
}

// Opens `stream` on the collect file at `path`, its descriptor close-on-exec
// from the start; false, with the stream failed, when the file cannot be
// opened. Opening an open stream fails it. An exception leaves no file held.
bool OpenCollectStream(std::ifstream& stream, const std::string& path) {
  if (!vscr::OpenCloseOnExec(*stream.rdbuf(), path)) {
    stream.setstate(std::ios::failbit);
    return false;
  }
  stream.clear();
  return true;
}

}  // namespace

VivodStubCollectReader::VivodStubCollectReader(
    const VivodStubCollectReaderInitArgs& args)
    : m_args(args),
      m_initialized(false),
      m_opened(false),
      m_useIndexCache(false),
      m_fieldCount(args.fieldCount) {
  if (m_args.fieldList.empty()) {
    m_args.fieldList = DefaultFieldList();
    m_fieldCount = kDefaultFieldCount;
  }
}

VivodStubCollectReader::~VivodStubCollectReader() { m_collectStream.close(); }

bool VivodStubCollectReader::Initialize(const std::string& inputFile) {
  if (m_fieldCount < kMinFieldCount) {
    m_lastError = kFieldCountTooSmall;
    return false;
  }
  if (inputFile.empty() || !vscr::PathExists(inputFile)) {
    m_lastError = kInputMissing;
    return false;
  }
  // The operating system would end the path at the NUL, in some other
  // directory, and a file found there would be taken for the collect file.
  if (m_args.workDir.find('\0') != std::string::npos) {
    m_lastError = kWorkDirHoldsNul;
    return false;
  }
  m_dstFileName = CollectFileName(m_args);
  const std::string collectPath = CollectFilePath(m_args, m_dstFileName);
  // Only complete files are ever published under this name, so one that
  // is there can be reused as it stands.
  if (vscr::PathExists(collectPath)) {
    m_initialized = true;
    return true;
  }
  const LookupOutcome outcome =
      vscr::LookUpAndPublish(m_args, m_useIndexCache, inputFile, collectPath);
  if (outcome != LookupOutcome::kPublished) {
    m_lastError = LookupFailure(outcome, collectPath);
    return false;
  }
  // A file that cannot be counted gets the same note as an empty one: it is
  // published all the same, and reading it tells more.
  if (CountLines(collectPath.c_str()) == 0) m_lastError = kEmptyCollectFile;
  m_initialized = true;
  return true;
}

unsigned long VivodStubCollectReader::CountLines(const char* path) {
  if (path == nullptr) return 0;  // no file can be opened under no name
  vscr::PosixFile file = vscr::PosixFile::OpenForReading(path);
  if (!file.is_open()) return 0;
  // Counting line feeds block by block gives what reading line by line
  // gives, as long as a last line without a line feed is counted too.
  const vscr::ReadBuffer buffer(vscr::kCountBlockSize);
  char* const block = buffer.data();
  unsigned long lines = 0;
  char last = '\n';
  long n;
  while ((n = file.Read(block, vscr::kCountBlockSize)) > 0) {
    const char* const end = block + n;
    lines += vscr::CountByte(block, end, '\n');
    last = end[-1];
  }
  // A part of the file gives no count: a read error counts as unreadable.
  if (n < 0) return 0;
  if (last != '\n') ++lines;
  return lines;
}

bool VivodStubCollectReader::Open() {
  if (!m_initialized) {
    m_lastError = kCallInitializeFirst;
    return false;
  }
  if (m_dstFileName.empty()) {
    m_lastError = kNoCollectFileName;
    return false;
  }
  const std::string path = CollectFilePath(m_args, m_dstFileName);
  // A directory opens as a stream on Linux, and only its first read fails:
  // it is no collect file, and saying so now beats a read error later.
  if (vscr::PathIsDirectory(path)) {
    m_lastError = kOpenFailed + path;
    return false;
  }
  if (!OpenCollectStream(m_collectStream, path)) {
    m_lastError = kOpenFailed + path;
    return false;
  }
  m_opened = true;
  return true;
}

int VivodStubCollectReader::GetItem(std::string& fileName, std::string& line) {
  if (!m_initialized || !m_opened) {
    m_lastError = kCallInitializeAndOpenFirst;
    return -1;
  }
  // A failed stream stays failed: its read error, if any, was told once.
  if (m_collectStream.fail()) return 0;
  std::string text;
  text.reserve(kLineReserve);
  switch (ReadCollectLine(m_collectStream, text)) {
    case LineStatus::kEnd:
      return 0;
    case LineStatus::kReadError:
      m_lastError = kReadFailed + CollectFilePath(m_args, m_dstFileName);
      return -1;
    case LineStatus::kTooLong:
      m_lastError = LineTooLongMessage(m_dstFileName);
      return -1;
    case LineStatus::kLine:
      break;
  }
  // The whole line is consumed: whatever fails or throws below gives it up,
  // and the next call goes on with the following line.
  if (text.empty()) {
    m_lastError = kEmptyLine + m_dstFileName;
    return -1;
  }
  if (HasTooManySeparators(text, m_fieldCount)) {
    m_lastError = kTooManyFields + m_dstFileName;
    return -1;
  }
  if (!ExtractFileName(text, m_fieldCount, &fileName)) {
    m_lastError = kMissingFields;
    return -1;
  }
  line = std::move(text);  // cannot throw: once `fileName` is written, so is `line`
  return 1;
}

bool VivodStubCollectReader::SetSeekOffset(uint64_t offset) {
  if (!m_initialized || !m_opened) {
    m_lastError = kCallInitializeAndOpenFirst;
    return false;
  }
  // Offsets beyond the stream's signed range cannot be reached; they fail
  // the stream like any other impossible seek.
  if (offset > static_cast<uint64_t>(std::numeric_limits<std::streamoff>::max())) {
    m_collectStream.setstate(std::ios::failbit);
  } else {
    // Clears an end-of-file mark left by reading a last line without a
    // line feed, but keeps a failure: a failed stream is never moved.
    m_collectStream.seekg(std::streampos(static_cast<std::streamoff>(offset)));
  }
  if (!m_collectStream.good()) {
    m_lastError = kSeekFailed;
    return false;
  }
  return true;
}

bool VivodStubCollectReader::GetSeekOffset(uint64_t& offset) {
  if (!m_initialized || !m_opened) {
    m_lastError = kCallInitializeAndOpenFirst;
    return false;
  }
  // The stream buffer tells its position without touching the stream's
  // state; tellg would fail a stream that stands at the end of the file.
  std::streamoff position = -1;
  if (!m_collectStream.fail()) {
    position = m_collectStream.rdbuf()->pubseekoff(0, std::ios::cur, std::ios::in);
  }
  if (position < 0) {
    m_lastError = kOffsetUnavailable;
    return false;
  }
  offset = static_cast<uint64_t>(position);
  return true;
}
