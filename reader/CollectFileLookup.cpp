#include "CollectFileLookup.h"

#include <unistd.h>

#include <cstddef>

#include "CollectFileNames.h"
#include "FetchIndexInfo.h"
#include "HostSettings.h"
#include "PosixFile.h"

namespace vscr {
namespace {

constexpr int kNameTries = 16;
constexpr std::size_t kRandomBytes = kTemporaryRandomDigits / 2;

// Where a collect file stands. The prefix may hold '/', so the directory is
// whatever precedes the path's last '/'; there is always one, after the
// work dir.
struct Location {
  std::string head;       // the path up to and with its last '/'
  std::string directory;  // the directory that holds the file
  std::string name;       // the file's name in it
};

Location Locate(const std::string& collectPath) {
  const std::size_t slash = collectPath.rfind('/');
  return {collectPath.substr(0, slash + 1), slash == 0 ? "/" : collectPath.substr(0, slash),
          collectPath.substr(slash + 1)};
}

// 64 random bits as hex digits; empty when the kernel gives none.
std::string RandomPart() {
  unsigned char bytes[kRandomBytes];
  if (!FillRandom(bytes, sizeof bytes)) return std::string();
  static const char kHex[] = "0123456789abcdef";
  std::string text;
  for (const unsigned char byte : bytes) {
    text += kHex[byte >> 4];
    text += kHex[byte & 0xf];
  }
  return text;
}

// `stem` cut to at most `room` bytes, never inside a UTF-8 sequence: a file
// system that checks names as UTF-8 takes the shortened name too.
std::string ShortenedStem(const std::string& stem, std::size_t room) {
  if (stem.size() <= room) return stem;
  std::size_t cut = room;
  while (cut > 0 && (static_cast<unsigned char>(stem[cut]) & 0xc0) == 0x80) --cut;
  return stem.substr(0, cut);
}

// "<stem>.<pid>.<random>.lmf.tmp" in at most `nameMax` bytes, the stem being
// `collectName` without the ".lmf" that every collect file name ends in; it
// gives way when the whole does not fit. The pid helps an operator; the
// random part keeps apart jobs that share a pid, as jobs in separate PID
// namespaces do, and makes the name unguessable.
std::string TemporaryName(const std::string& collectName, const std::string& random,
                          std::size_t nameMax) {
  const std::string stem = collectName.substr(0, collectName.size() - kCollectEndingLength);
  const std::string tail = TemporaryTail(::getpid(), random);
  return ShortenedStem(stem, nameMax > tail.size() ? nameMax - tail.size() : 0) + tail;
}

// A temporary path at which nothing stands, a symbolic link included, so
// that the service writes through nobody's file. False, with `temporary`
// untouched, when the collect file's name could never stand in the
// directory, when the kernel gives no random bytes, when a check fails, or
// when every name tried is taken.
bool PickFreeTemporary(const Location& where, std::string* temporary) {
  const std::size_t nameMax = NameMaxOf(where.directory);
  if (where.name.size() > nameMax) return false;
  for (int i = 0; i < kNameTries; ++i) {
    const std::string random = RandomPart();
    if (random.empty()) return false;
    const std::string path = where.head + TemporaryName(where.name, random, nameMax);
    const Occupancy occupancy = OccupancyOf(path);
    if (occupancy == Occupancy::kUnknown) return false;
    if (occupancy == Occupancy::kFree) {
      *temporary = path;
      return true;
    }
  }
  return false;
}

// The file's data reaches the disk before its name does, so a crash
// can never leave a collect file name on a partial file.
bool SyncFile(const std::string& path) {
  PosixFile file = PosixFile::OpenForReading(path);
  return file.is_open() && file.Sync() && file.Close();
}

// The temporary path that the service writes: removed when the lookup
// ends in any way, an exception included, unless it was published.
class Temporary {
 public:
  Temporary() = default;
  Temporary(const Temporary&) = delete;
  Temporary& operator=(const Temporary&) = delete;
  ~Temporary() {
    if (!m_path.empty()) RemovePath(m_path);
  }

  std::string* path() { return &m_path; }
  // Renamed into place: nothing is left to remove.
  void Published() { m_path.clear(); }

 private:
  std::string m_path;  // empty until a free name is picked
};

// Sets `temporary` once a free name is picked, whatever happens after.
LookupOutcome RunService(VivodStubCollectReaderInitArgs& args, bool useIndexCache,
                         const std::string& inputFile, const Location& where,
                         std::string* temporary) {
  FetchIndexInfo service;
  service.setInitFlags(kIndexInitFlags);
  service.setCacheType(useIndexCache ? kIndexCacheType : kNoCacheType);
  if (service.initByCurrentJobId(args.jobId, args.lookupParamA, args.lookupParamB,
                                 args.lookupParamC, args.lookupText) != 0) {
    return LookupOutcome::kInitFailed;
  }
  // Named only now, so that the check for a free name comes right before
  // the service writes there.
  if (!PickFreeTemporary(where, temporary)) return LookupOutcome::kPublishFailed;
  if (service.lookup(inputFile, *temporary, args.fieldList, kLookupFieldSeparator, kLookupListSeparator,
                     static_cast<GETINDEXARCHINFO_FLAGS>(kCollectLookupFlags),
                     std::string(), 0) != 0) {
    return LookupOutcome::kLookupFailed;
  }
  return LookupOutcome::kPublished;
}

LookupOutcome Publish(Temporary& temporary, const std::string& collectPath,
                      const std::string& directory) {
  if (!SyncFile(*temporary.path()) || !RenamePath(*temporary.path(), collectPath)) {
    return LookupOutcome::kPublishFailed;
  }
  temporary.Published();
  // The collect file is complete from here on, so it stays whatever
  // follows. Until its directory is synced a crash may lose the rename,
  // and a later job looks the file up again.
  // A directory that may not be read (a drop box) cannot be synced; the
  // rename stands all the same.
  return SyncDirectory(directory) == DirectorySync::kFailed ? LookupOutcome::kPublishFailed
                                                            : LookupOutcome::kPublished;
}

}  // namespace

LookupOutcome LookUpAndPublish(VivodStubCollectReaderInitArgs& args, bool useIndexCache,
                               const std::string& inputFile, const std::string& collectPath) {
  const Location where = Locate(collectPath);
  Temporary temporary;
  const LookupOutcome outcome =
      RunService(args, useIndexCache, inputFile, where, temporary.path());
  if (outcome != LookupOutcome::kPublished) return outcome;
  return Publish(temporary, collectPath, where.directory);
}

}  // namespace vscr
