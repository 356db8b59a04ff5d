#include "TestFiles.h"

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

TempDir::TempDir() {
  const char* base = ::getenv("TMPDIR");
  std::string pattern = std::string(base != nullptr ? base : "/tmp") + "/vscr-test-XXXXXX";
  if (::mkdtemp(&pattern[0]) == nullptr) throw std::runtime_error("mkdtemp failed");
  m_path = pattern;
}

// Symbolic links inside are removed, never followed.
TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(m_path, ignored);
}

const TempDir& ProcessTempDir() {
  static const TempDir dir;
  return dir;
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
  if (!out.flush()) throw std::runtime_error("cannot write " + path);
}

void AppendFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::app);
  out << bytes;
  if (!out.flush()) throw std::runtime_error("cannot append to " + path);
}

void AppendRepeated(const std::string& path, const std::string& pattern, std::size_t length) {
  std::string piece;
  while (piece.size() < (std::size_t{1} << 20)) piece += pattern;
  for (; length >= piece.size(); length -= piece.size()) AppendFile(path, piece);
  AppendFile(path, piece.substr(0, length));
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

bool FileExists(const std::string& path) { return ::access(path.c_str(), F_OK) == 0; }

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::vector<std::string> SortedEntries(const std::string& dir) {
  std::vector<std::string> names;
  std::error_code ignored;
  for (const auto& entry : std::filesystem::directory_iterator(dir, ignored)) {
    names.push_back(entry.path().filename());
  }
  std::sort(names.begin(), names.end());
  return names;
}

StandardErrorToFile::StandardErrorToFile(const std::string& path)
    : m_saved(::dup(STDERR_FILENO)) {
  const int file = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  const bool sent = m_saved >= 0 && file >= 0 && ::dup2(file, STDERR_FILENO) >= 0;
  if (file >= 0) ::close(file);
  if (!sent) {
    if (m_saved >= 0) ::close(m_saved);
    throw std::runtime_error("cannot send standard error to " + path);
  }
}

StandardErrorToFile::~StandardErrorToFile() {
  ::dup2(m_saved, STDERR_FILENO);
  ::close(m_saved);
}
