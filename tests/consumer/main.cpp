// A host program built against an installed reader. It writes a small
// collect file into a fresh work folder, lets Initialize reuse it, walks it
// whole and again from its second record, and checks every record; exit
// status 0 means all of it held.
//
// usage: consumer [LIBRARY_DIR HOST_LIBRARY_DIR]
// With the two folders given, it also checks that the reader was loaded from
// LIBRARY_DIR and the host's three libraries from HOST_LIBRARY_DIR, so that
// a stray copy elsewhere on the system cannot pass for the installed one.
//
// Kept to C++11 and POSIX: the pkg-config build uses the compiler's own
// default language level. Built with VSCR_CONSUMER_OF_1_0 defined and the
// 1.0 header (header-1.0/) first on the include path, it is a host of the
// first release.
#include <limits.h>
#include <link.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>
#include <utility>
#include <vector>

#include "VivodStubCollectReader.h"

namespace {

int g_failures = 0;

void Fail(const std::string& what) {
  std::cerr << "consumer: " << what << '\n';
  ++g_failures;
}

// The reader's default layout: seven fields, the file name fifth. The second
// name is quoted because it holds the field separator.
const char* const kRecords[][2] = {
    {"1,1,0,4096,/archive/2024/ledger.db,1,", "/archive/2024/ledger.db"},
    {"1,2,4096,17,\"/archive/2024/a,b.txt\",1,", "/archive/2024/a,b.txt"},
    {"1,3,4113,0,/archive/2024/empty,0,", "/archive/2024/empty"},
};
const std::size_t kCount = sizeof kRecords / sizeof kRecords[0];

// Walks from record `first` to the end; `ends[i]` is where record i ends.
void WalkFrom(VivodStubCollectReader& reader, std::size_t first,
              const std::vector<uint64_t>& ends) {
  std::string name, line;
  for (std::size_t i = first; i < kCount; ++i) {
    const std::string at = "record " + std::to_string(i) + ": ";
    if (reader.GetItem(name, line) != 1) return Fail(at + "GetItem: " + reader.m_lastError);
    if (name != kRecords[i][1] || line != kRecords[i][0]) Fail(at + name + " | " + line);
#ifndef VSCR_CONSUMER_OF_1_0
    uint64_t next = 0;
    if (!reader.GetSeekOffset(next) || next != ends[i]) {
      Fail(at + "ends at " + std::to_string(next));
    }
#endif
  }
  if (reader.GetItem(name, line) != 0) Fail("a record after the last one");
  (void)ends;
}

void WalkCollectFile(const std::string& workDir) {
  std::string collect;
  std::vector<uint64_t> ends;
  for (std::size_t i = 0; i < kCount; ++i) {
    collect += std::string(kRecords[i][0]) + "\n";
    ends.push_back(collect.size());
  }
  // Initialize requires the list of archived files, even when it reuses the
  // collect file.
  const std::string list = workDir + "/archived-files.lst";
  std::ofstream(workDir + "/consumer_7.lmf") << collect;
  std::ofstream(list) << kRecords[0][1] << '\n';

  VivodStubCollectReaderInitArgs args;
  args.workDir = workDir;
  args.collectFilePrefix = "consumer";
  args.collectFileNumber = 7;
  args.jobId = "consumer-job";
  VivodStubCollectReader reader(args);
  if (!reader.Initialize(list) || !reader.Open()) return Fail("whole walk: " + reader.m_lastError);
  WalkFrom(reader, 0, ends);
  // Resuming at a record needs a stream that has not run to its end.
  VivodStubCollectReader resumed(args);
  if (!resumed.Initialize(list) || !resumed.Open() || !resumed.SetSeekOffset(ends[0])) {
    return Fail("resumed walk: " + resumed.m_lastError);
  }
  WalkFrom(resumed, 1, ends);
}

std::string RealPath(const std::string& path) {
  char resolved[PATH_MAX];
  return ::realpath(path.c_str(), resolved) != nullptr ? resolved : "(missing) " + path;
}

// Notes the folder of each loaded library that `data` lists by SONAME (a
// host SDK may version it: libKaUtils.so.3), with or without a version.
int NoteFolder(struct dl_phdr_info* info, size_t, void* data) {
  const std::string path = info->dlpi_name;
  const std::string name = path.substr(path.rfind('/') + 1);
  auto& libraries = *static_cast<std::vector<std::pair<std::string, std::string>>*>(data);
  for (auto& library : libraries) {
    const std::string& soname = library.first;
    if (name.compare(0, soname.size(), soname) == 0 &&
        (name.size() == soname.size() || name[soname.size()] == '.')) {
      const std::string real = RealPath(path);
      library.second = real.substr(0, real.rfind('/'));
    }
  }
  return 0;
}

void CheckLoadedFrom(const std::string& libraryDir, const std::string& hostDir) {
  std::vector<std::pair<std::string, std::string>> libraries = {
      {"libVivodStubCollectReader.so.1", ""},
      {"libKaUtils.so", ""},
      {"libLmLib.so", ""},
      {"libDivorar.so", ""}};
  ::dl_iterate_phdr(NoteFolder, &libraries);
  for (std::size_t i = 0; i < libraries.size(); ++i) {
    const std::string expected = RealPath(i == 0 ? libraryDir : hostDir);
    if (libraries[i].second != expected) {
      Fail(libraries[i].first + " loaded from '" + libraries[i].second + "', not " + expected);
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  const char* tmp = ::getenv("TMPDIR");
  std::string dir =
      std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/vscr-consumer-XXXXXX";
  if ((argc != 1 && argc != 3) || ::mkdtemp(&dir[0]) == nullptr) {
    std::cerr << "usage: consumer [LIBRARY_DIR HOST_LIBRARY_DIR]\n";
    return 2;
  }
  WalkCollectFile(dir);
  std::remove((dir + "/consumer_7.lmf").c_str());
  std::remove((dir + "/archived-files.lst").c_str());
  ::rmdir(dir.c_str());
  if (argc == 3) CheckLoadedFrom(argv[1], argv[2]);
  if (g_failures == 0) std::cout << "consumer: " << kCount << " records read back\n";
  return g_failures == 0 ? 0 : 1;
}
