// The shipped sample, and the demonstration walk over it that collect-walk
// runs when it is given no arguments.
#ifndef TOOLS_COLLECT_WALK_SAMPLE_H_
#define TOOLS_COLLECT_WALK_SAMPLE_H_

#include <string>

// The folder of the shipped sample files archived-files.lst and
// stub-collect.txt. An installed collect-walk finds them in the data folder
// beside its own bin folder; one that is not installed, in the source tree
// it was built from.
std::string SampleDir();

// Walks the sample list verbosely in a temporary work directory of its own,
// which it removes afterwards. Returns the exit status.
int RunSample();

#endif  // TOOLS_COLLECT_WALK_SAMPLE_H_
