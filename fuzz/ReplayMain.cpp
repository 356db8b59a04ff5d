// Replays inputs through a fuzz target without the fuzzing engine, so that
// the same target builds with any compiler and runs under valgrind or as a
// regression test. Arguments are files or directories of files.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size);

namespace {

void Replay(const std::filesystem::path& path, int* count) {
  std::ifstream in(path, std::ios::binary);
  const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
  ++*count;
}

}  // namespace

int main(int argc, char** argv) {
  int count = 0;
  for (int i = 1; i < argc; ++i) {
    namespace fs = std::filesystem;
    std::error_code error;
    if (fs::is_directory(argv[i], error)) {
      for (const auto& entry : fs::directory_iterator(argv[i], error)) {
        if (entry.path().filename().string()[0] != '.') Replay(entry.path(), &count);
      }
    } else if (fs::exists(argv[i], error)) {
      Replay(argv[i], &count);
    } else {
      error = std::make_error_code(std::errc::no_such_file_or_directory);
    }
    if (error) return (std::fprintf(stderr, "cannot read %s\n", argv[i]), 1);
  }
  std::printf("replayed %d inputs\n", count);
  return count > 0 ? 0 : 1;
}
