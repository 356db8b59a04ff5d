// What every walk and --shards do first: run Initialize as the options ask,
// and tell what it noticed. The collect file's path and size come from the
// reader's own members afterwards, never from a naming rule of our own.
#ifndef TOOLS_COLLECT_WALK_PREPARATION_H_
#define TOOLS_COLLECT_WALK_PREPARATION_H_

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>

#include "VivodStubCollectReader.h"
#include "WalkArguments.h"

VivodStubCollectReaderInitArgs MakeInitArgs(const WalkOptions& options);

// Checks the arguments that the walk can check itself, then runs Initialize
// on `reader`, built from MakeInitArgs(options). Says on standard error when
// it reuses a collect file, or when a --range walk had to make it (the
// ranges should share one file, made once by --shards), and writes the note
// of a successful Initialize (an empty collect file) to `notes`. Returns
// kExitDone when the reader is Initialized, else the exit status, having
// told why.
int PrepareCollectFile(const WalkOptions& options, VivodStubCollectReader& reader,
                       std::ostream& notes);

// The path the reader opens, as its header gives it: workDir, "/", name.
std::string CollectPath(const VivodStubCollectReader& reader);

// The size of the Initialized reader's collect file; none when it is not a
// regular file, whose size would say nothing of its contents.
std::optional<uint64_t> CollectFileSize(const VivodStubCollectReader& reader);

#endif  // TOOLS_COLLECT_WALK_PREPARATION_H_
