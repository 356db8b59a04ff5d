// Test controls of the FetchIndexInfo stand-in (libLmLib). The host's own
// library has none of this; only our tests and tools use it.
//
// A journal of every call on any FetchIndexInfo object, forced results, a
// slow lookup, and one that ends the process or throws part way. Every
// function here may be called from any thread while others use the service.
#ifndef HOST_STANDINS_FETCHINDEXINFOCONTROL_H_
#define HOST_STANDINS_FETCHINDEXINFOCONTROL_H_

#include <chrono>
#include <cstddef>
#include <string>
#include <vector>

namespace standin {

// One call on a FetchIndexInfo object. `name` is "construct", "destroy" or
// the member function's name; `args` are its arguments in order, numbers in
// decimal, texts as passed.
struct IndexCall {
  std::string name;
  std::vector<std::string> args;
};

// All calls since the last ResetIndexService, oldest first.
std::vector<IndexCall> IndexJournal();

// Empties the journal and drops every forced result, delay and exit.
void ResetIndexService();

// From now on `call` ("initByCurrentJobId" or "lookup") does nothing but
// return `result`.
void ForceIndexResult(const std::string& call, int result);

// From now on lookup sleeps `delay` before each record it writes, and hands
// each record to the file system before the next, so that another process
// or thread can watch the output file grow.
void SlowIndexLookup(std::chrono::microseconds delay);

// From now on a lookup about to write record number `records` + 1 hands the
// records so far to the file system and ends the process with _exit(`status`),
// as a host killed part way would end. A lookup with fewer records finishes.
void ExitInsideIndexLookup(std::size_t records, int status);

// The same, but it throws std::bad_alloc, as a service out of memory does.
void ThrowInsideIndexLookup(std::size_t records);

}  // namespace standin

#endif  // HOST_STANDINS_FETCHINDEXINFOCONTROL_H_
