#include "FuzzSupport.h"

#include <ftw.h>
#include <stdlib.h>

#include <cstdio>
#include <fstream>
#include <sstream>

namespace {

int RemoveEntry(const char* path, const struct stat*, int, struct FTW*) {
  return ::remove(path);
}

void RemoveScratchDir() { ::nftw(ScratchDir().c_str(), RemoveEntry, 16, FTW_DEPTH | FTW_PHYS); }

std::string MakeScratchDir() {
  const char* base = ::getenv("TMPDIR");
  std::string pattern = std::string(base != nullptr ? base : "/tmp") + "/vscr-fuzz-XXXXXX";
  if (::mkdtemp(&pattern[0]) == nullptr) Violated("a scratch directory can be made");
  return pattern;
}

}  // namespace

const std::string& ScratchDir() {
  // Never destroyed: the removal at exit runs after static destructors
  // would have run, and still needs the name.
  static const std::string& dir = *[] {
    auto* made = new std::string(MakeScratchDir());
    std::atexit(RemoveScratchDir);
    return made;
  }();
  return dir;
}

void WriteWholeFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
  if (!out.flush()) Violated("the scratch file can be written");
}

std::string ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

void Violated(const char* invariant) {
  std::fprintf(stderr, "invariant violated: %s\n", invariant);
  std::abort();
}
