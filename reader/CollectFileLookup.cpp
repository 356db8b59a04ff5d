#include "CollectFileLookup.h"

#include <unistd.h>

#include <atomic>

#include "FetchIndexInfo.h"
#include "PosixFile.h"

namespace vscr {
namespace {

constexpr unsigned int kIndexInitFlags = 0x2080861;
constexpr unsigned int kIndexCacheType = 2;
constexpr unsigned int kNoCacheType = 0;
// The lookup flags that ask the index service for a collect file.
constexpr unsigned int kCollectLookupFlags = 0x200;

// A name no other process, and no other call in this one, uses: the pid
// tells processes apart, the sequence number calls within one.
std::string TemporaryPathFor(const std::string& collectPath) {
  static std::atomic<unsigned long> sequence{0};
  return collectPath + ".tmp." + std::to_string(::getpid()) + "." +
         std::to_string(sequence.fetch_add(1) + 1);
}

// The file's data reaches the disk before its name does, so a crash
// can never leave a collect file name on a partial file.
bool SyncFile(const std::string& path) {
  PosixFile file = PosixFile::OpenForReading(path);
  return file.is_open() && file.Sync() && file.Close();
}

bool SyncDirectory(const std::string& directory) {
  PosixFile dir = PosixFile::OpenDirectory(directory);
  return dir.is_open() && dir.Sync() && dir.Close();
}

LookupOutcome RunService(VivodStubCollectReaderInitArgs& args, bool useIndexCache,
                         const std::string& inputFile, const std::string& outputPath) {
  FetchIndexInfo service;
  service.setInitFlags(kIndexInitFlags);
  service.setCacheType(useIndexCache ? kIndexCacheType : kNoCacheType);
  if (service.initByCurrentJobId(args.jobId, args.lookupParamA, args.lookupParamB,
                                 args.lookupParamC, args.lookupText) != 0) {
    return LookupOutcome::kInitFailed;
  }
  if (service.lookup(inputFile, outputPath, args.fieldList, ",", "&",
                     static_cast<GETINDEXARCHINFO_FLAGS>(kCollectLookupFlags),
                     std::string(), 0) != 0) {
    return LookupOutcome::kLookupFailed;
  }
  return LookupOutcome::kPublished;
}

}  // namespace

LookupOutcome LookUpAndPublish(VivodStubCollectReaderInitArgs& args, bool useIndexCache,
                               const std::string& inputFile, const std::string& directory,
                               const std::string& collectPath) {
  const std::string temporary = TemporaryPathFor(collectPath);
  const LookupOutcome outcome = RunService(args, useIndexCache, inputFile, temporary);
  if (outcome != LookupOutcome::kPublished) {
    RemovePath(temporary);
    return outcome;
  }
  if (!SyncFile(temporary) || !RenamePath(temporary, collectPath)) {
    RemovePath(temporary);
    return LookupOutcome::kPublishFailed;
  }
  // Until the directory is synced the rename itself may be lost in a crash;
  // a caller told of a failure must not find the file there afterwards.
  if (!SyncDirectory(directory)) {
    RemovePath(collectPath);
    return LookupOutcome::kPublishFailed;
  }
  return LookupOutcome::kPublished;
}

}  // namespace vscr
