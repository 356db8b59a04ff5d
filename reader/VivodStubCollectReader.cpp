#include "VivodStubCollectReader.h"

#include <unistd.h>

#include <cstring>
#include <limits>
#include <memory>
#include <utility>

#include "FetchIndexInfo.h"
#include "KaString.h"
#include "PosixFile.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// The default record layout of the index service's collect files. The
// metadata field's name ends in the decimal form of its signed 32-bit tag.
constexpr char kDefaultFieldListHead[] =
    "arch_group_id,arch_file_id,arch_file_offs,file_size,full_file_name,"
    "isvalid,metadata-";
constexpr int32_t kDefaultMetadataTag = -2048052319;  // bits 0x85ED33A1
constexpr int32_t kDefaultFieldCount = 7;
// The file name stands third from the end, so a record needs three fields.
constexpr int32_t kMinFieldCount = 3;

constexpr unsigned int kIndexInitFlags = 0x2080861;
constexpr unsigned int kIndexCacheType = 2;
constexpr unsigned int kNoCacheType = 0;
// The lookup flags are given as a value: host headers name their flags as
// they please, and the reader must build against any of them.
const GETINDEXARCHINFO_FLAGS kCollectLookupFlags =
    static_cast<GETINDEXARCHINFO_FLAGS>(0x200);
constexpr std::size_t kLineReserve = 3072;
constexpr std::size_t kCountBlockSize = 128 * 1024;

constexpr char kFieldCountTooSmall[] = "Field count must be at least 3.";
constexpr char kInputMissing[] = "Input file is empty or not present.";
constexpr char kIndexInitFailed[] = "FetchIndexInfo failed to init.";
constexpr char kIndexLookupFailed[] =
    "FetchIndexInfo failed to lookup in Indexing.";
constexpr char kEmptyCollectFile[] = "FetchIndexInfo returned emtpy file.";
constexpr char kCallInitializeFirst[] = "Call Initialize() first.";
constexpr char kNoCollectFileName[] = "m_dstFileName is empty.";
constexpr char kOpenFailed[] = "Failed to open collect file ";
constexpr char kCallInitializeAndOpenFirst[] =
    "Call Initialize() and Open() first.";
constexpr char kEmptyLine[] = "Retreived empty line from collect file ";
constexpr char kMissingFields[] =
    "Could not find all desired fields in collect file entry";
constexpr char kSeekFailed[] = "Seek failed.";

std::string DefaultFieldList() {
  return kDefaultFieldListHead + std::to_string(kDefaultMetadataTag);
}

// "<prefix>_<number>.lmf". The prefix is taken as a C string, as the host's
// own tools do, and the name has no length limit.
std::string CollectFileName(const VivodStubCollectReaderInitArgs& args) {
  return std::string(args.collectFilePrefix.c_str()) + "_" +
         std::to_string(args.collectFileNumber) + ".lmf";
}

// The separator is always inserted: a doubled "/" is harmless, and the path
// stays the one that earlier readers with the same arguments used.
std::string CollectFilePath(const VivodStubCollectReaderInitArgs& args,
                            const std::string& fileName) {
  return args.workDir + "/" + fileName;
}

enum class LookupResult { kDone, kInitFailed, kLookupFailed };

// Has the index service write the collect file. The service object lives
// for this call only.
LookupResult RunIndexLookup(VivodStubCollectReaderInitArgs& args,
                            bool useIndexCache, const std::string& inputFile,
                            const std::string& collectPath) {
  FetchIndexInfo service;
  service.setInitFlags(kIndexInitFlags);
  service.setCacheType(useIndexCache ? kIndexCacheType : kNoCacheType);
  if (service.initByCurrentJobId(args.jobId, args.lookupParamA,
                                 args.lookupParamB, args.lookupParamC,
                                 args.lookupText) != 0) {
    return LookupResult::kInitFailed;
  }
  if (service.lookup(inputFile, collectPath, args.fieldList, ",", "&",
                     kCollectLookupFlags, std::string(), 0) != 0) {
    return LookupResult::kLookupFailed;
  }
  return LookupResult::kDone;
}

// Host tools write CRLF or tab-terminated fields now and then; one such
// byte is never part of a file name. A second one is kept, as it was meant.
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
  record.Tokenize(fields, '"', '"', '\\', ',', false);
  if (fields.GetSize() < static_cast<std::size_t>(fieldCount)) return false;
  const std::size_t index = static_cast<std::size_t>(fieldCount - kMinFieldCount);
  const char* const name = fields.GetAt(index).GetString();
  std::size_t length = std::strlen(name);
  if (EndsInCrOrTab(name, length)) --length;
  fileName->clear();  // keeps the storage of earlier names
  fileName->append(name, length);
  return true;
}

// Line feeds in [begin, end). Collect file lines are short, so counting
// sixteen bytes per step beats searching for each line feed in turn.
unsigned long CountLineFeeds(const char* begin, const char* end) {
  unsigned long count = 0;
  const char* p = begin;
#if defined(__SSE2__)
  const __m128i feed = _mm_set1_epi8('\n');
  const __m128i zero = _mm_setzero_si128();
  while (end - p >= 16) {
    // Each byte lane counts down by one per line feed; 255 steps cannot
    // wrap a lane, then the lanes are summed.
    __m128i lanes = zero;
    for (int step = 0; step < 255 && end - p >= 16; ++step, p += 16) {
      const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
      lanes = _mm_add_epi8(lanes, _mm_cmpeq_epi8(block, feed));
    }
    const __m128i sums = _mm_sad_epu8(_mm_sub_epi8(zero, lanes), zero);
    count += static_cast<unsigned long>(_mm_cvtsi128_si64(sums)) +
             static_cast<unsigned long>(_mm_cvtsi128_si64(_mm_unpackhi_epi64(sums, sums)));
  }
#endif
  for (; p < end; ++p) count += *p == '\n' ? 1 : 0;
  return count;
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
  if (inputFile.empty() || !PathExists(inputFile)) {
    m_lastError = kInputMissing;
    return false;
  }
  m_dstFileName = CollectFileName(m_args);
  const std::string collectPath = CollectFilePath(m_args, m_dstFileName);
  if (PathExists(collectPath)) {  // produced earlier: reuse it as it stands
    m_initialized = true;
    return true;
  }
  switch (RunIndexLookup(m_args, m_useIndexCache, inputFile, collectPath)) {
    case LookupResult::kInitFailed:
      m_lastError = kIndexInitFailed;
      return false;
    case LookupResult::kLookupFailed:
      // Nothing was at this path before the lookup. Whatever the service
      // left is incomplete and must not be reused as a finished file.
      ::unlink(collectPath.c_str());
      m_lastError = kIndexLookupFailed;
      return false;
    case LookupResult::kDone:
      break;
  }
  if (CountLines(collectPath.c_str()) == 0) m_lastError = kEmptyCollectFile;
  m_initialized = true;
  return true;
}

unsigned long VivodStubCollectReader::CountLines(const char* path) {
  PosixFile file = PosixFile::OpenForReading(path);
  if (!file.is_open()) return 0;
  // Counting line feeds block by block gives what reading line by line
  // gives, as long as a last line without a line feed is counted too.
  const std::unique_ptr<char[]> block(new char[kCountBlockSize]);
  unsigned long lines = 0;
  char last = '\n';
  for (long n; (n = file.Read(block.get(), kCountBlockSize)) > 0;) {
    const char* const end = block.get() + n;
    lines += CountLineFeeds(block.get(), end);
    last = end[-1];
  }
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
  // A directory opens as a stream on Linux but yields no line: it is no
  // collect file, and saying so now beats reporting an empty file later.
  if (PathIsDirectory(path)) {
    m_lastError = kOpenFailed + path;
    return false;
  }
  m_collectStream.open(path, std::ios::in | std::ios::binary);
  if (m_collectStream.fail()) {
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
  std::string text;
  text.reserve(kLineReserve);
  if (!std::getline(m_collectStream, text)) return 0;
  if (text.empty()) {
    m_lastError = kEmptyLine + m_dstFileName;
    return -1;
  }
  if (!ExtractFileName(text, m_fieldCount, &fileName)) {
    m_lastError = kMissingFields;
    return -1;
  }
  line = std::move(text);
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
