// The walk: the collect file for a list of archived files, record by
// record, whole or one byte range of it.
#ifndef TOOLS_COLLECT_WALK_WALK_H_
#define TOOLS_COLLECT_WALK_WALK_H_

#include "WalkArguments.h"

// Prepares, opens and walks the collect file for options.inputFile, from
// options.offset or over options.range, printing each record and then a
// summary. Returns the exit status.
int Walk(const WalkOptions& options);

#endif  // TOOLS_COLLECT_WALK_WALK_H_
