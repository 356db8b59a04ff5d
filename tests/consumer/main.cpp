// A host program built against an installed reader. It writes a small
// collect file into a fresh work folder, lets Initialize reuse it, walks it
// and checks every record; exit status 0 means all of it held.
//
// usage: consumer [LIBRARY_DIR HOST_LIBRARY_DIR]
// With the two folders given, it also checks that the reader was loaded from
// LIBRARY_DIR and the host's three libraries from HOST_LIBRARY_DIR, so that
// a stray copy elsewhere on the system cannot pass for the installed one.
//
// Kept to C++11 and POSIX: the pkg-config build uses the compiler's own
// default language level. Built with VSCR_CONSUMER_OF_1_0 defined and the
// 1.0 header (header-1.0/) first on the include path, it is a host of the
// first release, which must load and run against any later 1.x library.
#include <link.h>
#include <limits.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

#include "VivodStubCollectReader.h"

namespace {

int g_failures = 0;

void Fail(const std::string& what) {
  std::cerr << "consumer: " << what << '\n';
  ++g_failures;
}

bool WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path.c_str(), std::ios::binary | std::ios::trunc);
  out << bytes;
  out.close();
  return static_cast<bool>(out);
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path.c_str(), std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  return bytes;
}

struct Record {
  const char* line;
  const char* name;
};

// The reader's default layout: seven fields, the file name fifth. The second
// name is quoted because it holds the field separator.
const Record kRecords[] = {
    {"1,1,0,4096,/archive/2024/ledger.db,1,", "/archive/2024/ledger.db"},
    {"1,2,4096,17,\"/archive/2024/a,b.txt\",1,", "/archive/2024/a,b.txt"},
    {"1,3,4113,0,/archive/2024/empty,0,", "/archive/2024/empty"},
};
const std::size_t kRecordCount = sizeof kRecords / sizeof kRecords[0];

// Initialize requires the list of archived files to exist, even when it
// reuses the collect file.
const char kCollectFileName[] = "consumer_7.lmf";
const char kListFileName[] = "archived-files.lst";

// `offsets[i]` is where record i starts; one more entry holds the file size.
void WalkFrom(VivodStubCollectReader& reader, std::size_t first,
              const std::vector<uint64_t>& offsets) {
  std::string name;
  std::string line;
  for (std::size_t i = first; i < kRecordCount; ++i) {
    const int result = reader.GetItem(name, line);
    if (result != 1) {
      Fail("record " + std::to_string(i) + ": GetItem gave " + std::to_string(result) +
           ": " + reader.m_lastError);
      return;
    }
    if (name != kRecords[i].name) Fail("record " + std::to_string(i) + " names " + name);
    if (line != kRecords[i].line) Fail("record " + std::to_string(i) + " reads " + line);
#ifndef VSCR_CONSUMER_OF_1_0
    uint64_t next = 0;
    if (!reader.GetSeekOffset(next)) Fail("GetSeekOffset: " + reader.m_lastError);
    if (next != offsets[i + 1]) Fail("record " + std::to_string(i) + " ends at " + std::to_string(next));
#endif
  }
  if (reader.GetItem(name, line) != 0) Fail("a record after the last one");
  (void)offsets;
}

void WalkCollectFile(const std::string& workDir) {
  std::string collect;
  std::vector<uint64_t> offsets;
  for (std::size_t i = 0; i < kRecordCount; ++i) {
    offsets.push_back(collect.size());
    collect += std::string(kRecords[i].line) + "\n";
  }
  offsets.push_back(collect.size());
  const std::string collectPath = workDir + "/" + kCollectFileName;
  const std::string listPath = workDir + "/" + kListFileName;
  if (!WriteFile(collectPath, collect) || !WriteFile(listPath, "/archive/2024/ledger.db\n")) {
    Fail("cannot write into " + workDir);
    return;
  }

  VivodStubCollectReaderInitArgs args;
  args.workDir = workDir;
  args.collectFilePrefix = "consumer";
  args.collectFileNumber = 7;
  args.jobId = "consumer-job";
  VivodStubCollectReader reader(args);
  if (!reader.Initialize(listPath)) return Fail("Initialize: " + reader.m_lastError);
  if (ReadFile(collectPath) != collect) Fail("Initialize did not reuse the collect file");
  if (!reader.Open()) return Fail("Open: " + reader.m_lastError);
  WalkFrom(reader, 0, offsets);

  // Resuming at a record needs a stream that has not run to its end.
  VivodStubCollectReader resumed(args);
  if (!resumed.Initialize(listPath) || !resumed.Open()) {
    return Fail("second reader: " + resumed.m_lastError);
  }
  if (!resumed.SetSeekOffset(offsets[1])) return Fail("SetSeekOffset: " + resumed.m_lastError);
  WalkFrom(resumed, 1, offsets);
}

std::string RealPath(const std::string& path) {
  char resolved[PATH_MAX];
  if (::realpath(path.c_str(), resolved) == nullptr) return "(missing) " + path;
  return resolved;
}

std::string FolderOf(const std::string& path) { return path.substr(0, path.rfind('/')); }

struct LoadedLibrary {
  const char* soname;  // a host's SDK may add a version: libKaUtils.so.3
  bool host;           // one of the host's libraries, else the reader
  std::string dir;
};

// Whether `path` names the library `soname`, with or without a version
// after it: libKaUtils.so, libKaUtils.so.3, not libKaUtils.so3.
bool NamesLibrary(const std::string& path, const std::string& soname) {
  const std::string name = path.substr(path.rfind('/') + 1);
  return name.compare(0, soname.size(), soname) == 0 &&
         (name.size() == soname.size() || name[soname.size()] == '.');
}

int NoteLoadedLibrary(struct dl_phdr_info* info, size_t, void* data) {
  auto* libraries = static_cast<std::vector<LoadedLibrary>*>(data);
  const std::string path = info->dlpi_name;
  for (LoadedLibrary& library : *libraries) {
    if (path.find('/') != std::string::npos && NamesLibrary(path, library.soname)) {
      library.dir = FolderOf(RealPath(path));
    }
  }
  return 0;
}

void CheckLoadedFrom(const std::string& libraryDir, const std::string& hostDir) {
  std::vector<LoadedLibrary> libraries = {
      {"libVivodStubCollectReader.so.1", false, std::string()},
      {"libKaUtils.so", true, std::string()},
      {"libLmLib.so", true, std::string()},
      {"libDivorar.so", true, std::string()},
  };
  ::dl_iterate_phdr(NoteLoadedLibrary, &libraries);
  const std::string readerDir = RealPath(libraryDir);
  const std::string hostLibraryDir = RealPath(hostDir);
  for (const LoadedLibrary& library : libraries) {
    const std::string& expected = library.host ? hostLibraryDir : readerDir;
    if (library.dir != expected) {
      Fail(std::string(library.soname) + " loaded from '" + library.dir + "', not " + expected);
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 1 && argc != 3) {
    std::cerr << "usage: consumer [LIBRARY_DIR HOST_LIBRARY_DIR]\n";
    return 2;
  }
  const char* tmp = ::getenv("TMPDIR");
  std::string pattern = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") +
                        "/vscr-consumer-XXXXXX";
  if (::mkdtemp(&pattern[0]) == nullptr) {
    std::perror("consumer: mkdtemp");
    return 2;
  }
  WalkCollectFile(pattern);
  std::remove((pattern + "/" + kCollectFileName).c_str());
  std::remove((pattern + "/" + kListFileName).c_str());
  ::rmdir(pattern.c_str());
  if (argc == 3) CheckLoadedFrom(argv[1], argv[2]);
  if (g_failures == 0) std::cout << "consumer: " << kRecordCount << " records read back\n";
  return g_failures == 0 ? 0 : 1;
}
