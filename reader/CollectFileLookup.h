// Producing a collect file through the host's index service, so that no
// reader ever sees a partial one: the service writes a temporary file beside
// the collect file, and only a complete file is renamed onto the collect
// file's path.
// The names are those of CollectFileNames.h.
#ifndef READER_COLLECTFILELOOKUP_H_
#define READER_COLLECTFILELOOKUP_H_

#include <string>

#include "VivodStubCollectReader.h"

namespace vscr {

enum class LookupOutcome {
  kPublished,      // the complete file now stands at the collect file path
  kInitFailed,     // initByCurrentJobId did not return 0
  kLookupFailed,   // lookup did not return 0
  kPublishFailed,  // no free temporary name, or the finished file could not
                   // be synced, renamed, or made durable in its directory
};

// Has the index service write the records of `inputFile` to a temporary
// file in the directory that holds `collectPath`: a work dir, '/', and a
// name ending in ".lmf" (the prefix may name a folder below the work
// dir). Right before the lookup, a random name is checked to be free, a
// symbolic link counting as taken; after 16 taken names, or when the check
// fails, no lookup is made (kPublishFailed), and neither when the collect
// file's own name is too long for the directory. After a successful lookup
// the temporary is synced, renamed onto `collectPath`, and the directory
// synced. Until the rename, any failure removes the temporary, an
// exception out of the service included. From the rename on, the complete
// file stays: when the directory's sync fails the result is
// kPublishFailed, yet a later call may reuse the file. A directory that may
// not be opened for reading (a drop box) cannot be synced: the rename
// stands and counts as published; a crash may then lose the rename, but
// never leaves a partial collect file. The service object lives for this
// call only.
LookupOutcome LookUpAndPublish(VivodStubCollectReaderInitArgs& args, bool useIndexCache,
                               const std::string& inputFile, const std::string& collectPath);

}  // namespace vscr

#endif  // READER_COLLECTFILELOOKUP_H_
