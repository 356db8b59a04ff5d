#include "BenchInputs.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "RecordGenerator.h"

namespace bench {
namespace {

namespace fs = std::filesystem;

constexpr uint64_t kLines = 200'000;

class ScratchDir {
 public:
  ScratchDir() {
    std::string name = (fs::temp_directory_path() / "vscr-benchmarks-XXXXXX").string();
    if (::mkdtemp(name.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    m_path = name;
  }
  ~ScratchDir() {
    std::error_code ignored;
    fs::remove_all(m_path, ignored);
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  std::string File(const std::string& name) const { return (m_path / name).string(); }

 private:
  fs::path m_path;
};

const ScratchDir& Scratch() {
  static const ScratchDir dir;
  return dir;
}

enum class Kind { kCollect, kStub };

InputFile Generate(Kind kind, uint64_t seed, const std::string& name) {
  RecordGenerator generator(seed);
  InputFile file;
  file.path = Scratch().File(name);
  std::string text;
  for (uint64_t i = 0; i < kLines; ++i) {
    file.lineStarts.push_back(text.size());
    if (kind == Kind::kCollect) {
      generator.AppendCollectRecord(&text);
    } else {
      generator.AppendStubLine(&text);
    }
  }
  std::ofstream out(file.path, std::ios::binary);
  out.write(text.data(), static_cast<std::streamsize>(text.size()));
  if (!out.flush()) throw std::runtime_error("cannot write " + file.path);
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

std::string ScratchPath(const std::string& name) { return Scratch().File(name); }

StderrToNull::StderrToNull() : m_saved(::dup(STDERR_FILENO)) {
  std::fflush(stderr);
  const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
  if (null >= 0) {
    ::dup2(null, STDERR_FILENO);
    ::close(null);
  }
}

StderrToNull::~StderrToNull() {
  if (m_saved < 0) return;
  ::dup2(m_saved, STDERR_FILENO);
  ::close(m_saved);
}

}  // namespace bench
