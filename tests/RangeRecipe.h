// The range recipe that the README gives hosts, written as a host writes it,
// for the tests that prove it: a walk of the records whose line begins in
// bytes [begin, end) of the collect file. Each result is a short string
// with the offset where its line begins: "1 /a @0", "-1 <message> @15".
#ifndef TESTS_RANGERECIPE_H_
#define TESTS_RANGERECIPE_H_

#include <cstdint>
#include <string>
#include <vector>

#include "VivodStubCollectReader.h"

struct RangeResults {
  std::vector<std::string> results;
  std::string error;  // the read error that ended the range, or empty
};

// The README's recipe on an Open reader: the offset tracked, asked only
// once at the start and after a -1.
RangeResults WalkRange(VivodStubCollectReader& reader, uint64_t begin, uint64_t end);

// The reference: the whole file from where the reader stands, with
// GetSeekOffset asked before every call, up to the 0 (not included).
RangeResults WalkWhole(VivodStubCollectReader& reader);

#endif  // TESTS_RANGERECIPE_H_
