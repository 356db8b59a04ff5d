// collect-walk: an operator's tool for libVivodStubCollectReader. It walks
// the collect file for a list of archived files, or converts a stub collect
// file into a plain list of paths, and reports what the library reports.
// Run it without arguments for a demonstration on the shipped sample, and
// with --help for its options.
#include <iostream>

#include "Convert.h"
#include "Report.h"
#include "Sample.h"
#include "Shards.h"
#include "StandardDescriptors.h"
#include "Walk.h"
#include "WalkArguments.h"

int main(int argc, char** argv) {
  // Before any file is opened: nothing can be told when this fails, since
  // standard error may be one of the closed descriptors.
  if (!OpenClosedStandardDescriptors()) return kExitLibraryFailure;
  const Command command = ParseArguments(argc, argv);
  switch (command.mode) {
    case Mode::kSample:
      return RunSample();
    case Mode::kWalk:
      return Walk(command.walk);
    case Mode::kShards:
      return PrintShards(command.walk);
    case Mode::kConvert:
      return Convert(command.convert);
    case Mode::kHelp:
      PrintHelp(std::cout, SampleDir());
      return kExitDone;
    case Mode::kBadUsage:
      break;
  }
  PrintBadUsage(std::cerr, command.error);
  return kExitBadArguments;
}
