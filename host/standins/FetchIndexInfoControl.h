// Test controls of the FetchIndexInfo stand-in (libLmLib). The host's own
// library has none of this; only our tests and tools use it.
//
// The stand-in keeps a journal of every call made on any FetchIndexInfo
// object, with its arguments as text, and lets a test decide the result of
// initByCurrentJobId and lookup.
#ifndef HOST_STANDINS_FETCHINDEXINFOCONTROL_H_
#define HOST_STANDINS_FETCHINDEXINFOCONTROL_H_

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

// Empties the journal and drops every forced result.
void ResetIndexService();

// From now on `call` ("initByCurrentJobId" or "lookup") does nothing but
// return `result`.
void ForceIndexResult(const std::string& call, int result);

}  // namespace standin

#endif  // HOST_STANDINS_FETCHINDEXINFOCONTROL_H_
