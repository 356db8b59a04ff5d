#include "Sample.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <optional>
#include <system_error>

#include "Report.h"
#include "Walk.h"
#include "WalkArguments.h"

namespace {

namespace fs = std::filesystem;

constexpr char kSampleList[] = "archived-files.lst";

// A fresh directory under TMPDIR (or /tmp), so that the demonstration
// neither reuses nor leaves behind a collect file in the caller's folder.
std::optional<std::string> MakeWorkDir() {
  const char* tmp = std::getenv("TMPDIR");
  const std::string pattern =
      std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/collect-walk.XXXXXX";
  std::string workDir = pattern;  // mkdtemp fills in the X's
  if (::mkdtemp(workDir.data()) == nullptr) {
    Complain("mkdtemp failed for " + pattern + ": " + std::strerror(errno));
    return std::nullopt;
  }
  return workDir;
}

// Removes the work dir; a failure to do so turns a walk that went well into
// a failure, since it leaves a collect file behind.
int RemoveWorkDir(const std::string& workDir, int status) {
  std::error_code error;
  fs::remove_all(workDir, error);
  if (error) {
    Complain("could not remove " + workDir + ": " + error.message());
    return status != kExitDone ? status : kExitLibraryFailure;
  }
  std::cout << "removed " << workDir << '\n';
  return status;
}

}  // namespace

std::string SampleDir() {
  std::error_code error;
  const fs::path folder = fs::read_symlink("/proc/self/exe", error).parent_path();
  const fs::path installed = (folder / COLLECT_WALK_INSTALLED_SAMPLE_DIR).lexically_normal();
  if (!error && fs::is_regular_file(installed / kSampleList, error)) return installed.string();
  // Not installed: the source tree's, named from the build tree's program,
  // so that no folder of the build is compiled in.
  return (folder / COLLECT_WALK_SOURCE_SAMPLE_DIR).lexically_normal().string();
}

int RunSample() {
  const std::optional<std::string> workDir = MakeWorkDir();
  if (!workDir) return kExitLibraryFailure;
  WalkOptions options;
  options.inputFile = SampleDir() + "/" + kSampleList;
  options.workDir = *workDir;
  options.verbose = true;
  std::cout << "sample: " << options.inputFile << '\n'
            << "work dir: " << options.workDir << '\n';
  return RemoveWorkDir(options.workDir, Walk(options));
}
