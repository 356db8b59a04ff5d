#include "BenchInputs.h"

#include "RecordGenerator.h"
#include "TestFiles.h"

namespace bench {
namespace {

constexpr uint64_t kLines = 200'000;

enum class Kind { kCollect, kStub };

InputFile Generate(Kind kind, uint64_t seed, const std::string& name) {
  RecordGenerator generator(seed);
  InputFile file;
  file.path = ProcessTempDir().File(name);
  std::string text;
  for (uint64_t i = 0; i < kLines; ++i) {
    file.lineStarts.push_back(text.size());
    if (kind == Kind::kCollect) {
      generator.AppendCollectRecord(&text);
    } else {
      generator.AppendStubLine(&text);
    }
  }
  WriteFile(file.path, text);
  file.lines = kLines;
  file.bytes = text.size();
  return file;
}

}  // namespace

const InputFile& CollectInput() {
  static const InputFile file = Generate(Kind::kCollect, 1, "collect.lmf");
  return file;
}

const InputFile& StubInput() {
  static const InputFile file = Generate(Kind::kStub, 2, "stubs.txt");
  return file;
}

std::string ScratchPath(const std::string& name) { return ProcessTempDir().File(name); }

}  // namespace bench
