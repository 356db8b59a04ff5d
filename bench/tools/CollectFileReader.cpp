#include "CollectFileReader.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>

namespace bench {
namespace {

namespace fs = std::filesystem;

constexpr char kLinkName[] = "bench_1.lmf";

}  // namespace

CollectFileReader::CollectFileReader(const std::string& path) {
  std::error_code error;
  const fs::path target = fs::absolute(path, error);
  if (error || !fs::is_regular_file(target, error)) {
    m_error = "not a readable file: " + path;
    return;
  }
  std::string dirTemplate = (fs::temp_directory_path() / "vscr-bench-XXXXXX").string();
  if (::mkdtemp(dirTemplate.data()) == nullptr) {
    m_error = "cannot make a temporary directory";
    return;
  }
  m_linkDir = dirTemplate;
  fs::create_symlink(target, fs::path(m_linkDir) / kLinkName, error);
  if (error) {
    m_error = "cannot link " + path + ": " + error.message();
    return;
  }
  VivodStubCollectReaderInitArgs args;
  args.workDir = m_linkDir;
  args.collectFilePrefix = "bench";
  args.collectFileNumber = 1;
  auto reader = std::make_unique<VivodStubCollectReader>(args);
  // The collect file exists, so Initialize reuses it; any existing file
  // serves as its input list.
  if (!reader->Initialize(target.string()) || !reader->Open()) {
    m_error = reader->m_lastError;
    return;
  }
  m_reader = std::move(reader);
}

CollectFileReader::~CollectFileReader() {
  if (m_linkDir.empty()) return;
  std::error_code ignored;
  fs::remove_all(m_linkDir, ignored);
}

}  // namespace bench
