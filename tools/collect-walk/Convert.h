// The conversion: a stub collect file into a plain list of paths.
#ifndef TOOLS_COLLECT_WALK_CONVERT_H_
#define TOOLS_COLLECT_WALK_CONVERT_H_

#include "WalkArguments.h"

// Converts options.inputFile into options.outputFile, then prints how many
// paths the library wrote. Returns the exit status.
int Convert(const ConvertOptions& options);

#endif  // TOOLS_COLLECT_WALK_CONVERT_H_
