// --shards: the byte ranges that cut a collect file for walks in parallel.
#ifndef TOOLS_COLLECT_WALK_SHARDS_H_
#define TOOLS_COLLECT_WALK_SHARDS_H_

#include <cstdint>

#include "WalkArguments.h"

// Cut point `i` of `n` of a file of `size` bytes: size * i / n, without
// overflow. Cut 0 is 0 and cut n is the size.
uint64_t ShardCut(uint64_t size, uint64_t i, uint64_t n);

// Prepares the collect file as a walk does, then prints *options.shards
// lines "BEGIN END" that cover it, and nothing else, on standard output;
// notes go to standard error. Returns the exit status.
int PrintShards(const WalkOptions& options);

#endif  // TOOLS_COLLECT_WALK_SHARDS_H_
