// What collect-walk finds out for itself about its work dir and INPUT, where
// the library's messages cannot name the cause: the library reports a
// missing or unwritable work dir, a directory as INPUT and a name too long
// for the file system alike, as a failed lookup.
#ifndef TOOLS_COLLECT_WALK_WORKDIR_H_
#define TOOLS_COLLECT_WALK_WORKDIR_H_

#include <string>
#include <unordered_set>

#include "WalkArguments.h"

class VivodStubCollectReader;

// Why the walk cannot use the work dir, INPUT or prefix it was given, told
// before any lookup is made; empty when nothing is known to be wrong.
std::string UnusableArgument(const WalkOptions& options);

// After a failed Initialize that named the collect file: why the work dir
// cannot take it, or empty when the work dir shows no cause.
std::string CollectFileProblem(const VivodStubCollectReader& reader);

// The names in a directory at one moment; none when it cannot be listed.
class DirectoryNames {
 public:
  explicit DirectoryNames(const std::string& dir);
  bool Holds(const std::string& name) const { return m_names.count(name) != 0; }

 private:
  std::unordered_set<std::string> m_names;
};

#endif  // TOOLS_COLLECT_WALK_WORKDIR_H_
