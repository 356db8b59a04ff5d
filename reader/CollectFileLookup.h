// Producing a collect file through the host's index service, so that no
// reader ever sees a partial one: the service writes a temporary file beside
// the collect file, and only a complete file is renamed onto the collect
// file's path.
#ifndef READER_COLLECTFILELOOKUP_H_
#define READER_COLLECTFILELOOKUP_H_

#include <string>

#include "VivodStubCollectReader.h"

namespace vscr {

enum class LookupOutcome {
  kPublished,      // the complete file now stands at the collect file path
  kInitFailed,     // initByCurrentJobId did not return 0
  kLookupFailed,   // lookup did not return 0
  kPublishFailed,  // the finished file could not be synced or renamed
};

// Has the index service write the records of `inputFile` to a temporary
// file "<collectPath>.tmp.<pid>.<sequence>", then syncs it, renames it onto
// `collectPath` and syncs `directory`. Whatever fails, neither the temporary
// nor a file at `collectPath` made by this call is left behind. The service
// object lives for this call only.
LookupOutcome LookUpAndPublish(VivodStubCollectReaderInitArgs& args, bool useIndexCache,
                               const std::string& inputFile, const std::string& directory,
                               const std::string& collectPath);

}  // namespace vscr

#endif  // READER_COLLECTFILELOOKUP_H_
