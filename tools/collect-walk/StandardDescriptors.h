// Standard input, output and error, made sure of before anything else.
#ifndef TOOLS_COLLECT_WALK_STANDARDDESCRIPTORS_H_
#define TOOLS_COLLECT_WALK_STANDARDDESCRIPTORS_H_

// Opens /dev/null on each of descriptors 0, 1 and 2 that is closed, as a
// program started by a job scheduler may find them. Otherwise the first
// files opened later take those numbers, and whatever is written to
// standard error (the host's debug log among it) lands in them. False when
// /dev/null cannot be opened.
bool OpenClosedStandardDescriptors();

#endif  // TOOLS_COLLECT_WALK_STANDARDDESCRIPTORS_H_
