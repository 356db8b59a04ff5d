// Replays inputs through a fuzz target without the fuzzing engine, so that
// the same target builds with any compiler and runs under valgrind or as a
// regression test. Arguments are files or directories of files.
#include <dirent.h>
#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size);

namespace {

void Replay(const std::string& path, int* count) {
  std::ifstream in(path, std::ios::binary);
  const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
  ++*count;
}

bool ReplayPath(const std::string& path, int* count) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) {
    std::fprintf(stderr, "cannot read %s\n", path.c_str());
    return false;
  }
  if (!S_ISDIR(info.st_mode)) {
    Replay(path, count);
    return true;
  }
  DIR* dir = ::opendir(path.c_str());
  if (dir == nullptr) return false;
  std::vector<std::string> entries;
  while (const dirent* entry = ::readdir(dir)) {
    if (entry->d_name[0] != '.') entries.push_back(path + "/" + entry->d_name);
  }
  ::closedir(dir);
  for (const std::string& entry : entries) Replay(entry, count);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  int count = 0;
  for (int i = 1; i < argc; ++i) {
    if (!ReplayPath(argv[i], &count)) return 1;
  }
  std::printf("replayed %d inputs\n", count);
  return count > 0 ? 0 : 1;
}
