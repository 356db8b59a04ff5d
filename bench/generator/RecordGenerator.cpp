#include "RecordGenerator.h"

#include <cstddef>

#include "CollectField.h"

namespace bench {
namespace {

constexpr const char* kDirectories[] = {
    "data",     "archive", "projects", "2023",   "2024",    "invoices",
    "scans",    "home",    "users",    "photos", "backup",  "mail",
    "Q3 reports", "legal", "contracts", "export", "raw",    "images"};
constexpr const char* kOddDirectories[] = {
    "Smith, John", "\"final\" drafts", "a\\b share", "Miller, Anne & Co",
    "notes, misc"};
constexpr const char* kExtensions[] = {".pdf", ".txt", ".jpg", ".tif",
                                       ".docx", ".eml", ".xml", ".dat"};
constexpr const char* kOwners[] = {"alice", "bob", "carol", "dave", "erin"};

template <typename T, std::size_t N>
constexpr std::size_t CountOf(const T (&)[N]) { return N; }

}  // namespace

uint64_t Random::Next() {
  uint64_t z = (m_state += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

uint64_t Random::Between(uint64_t low, uint64_t high) {
  return low + Next() % (high - low + 1);
}

bool Random::Percent(unsigned percent) { return Next() % 100 < percent; }

std::string RecordGenerator::Path(std::size_t length) {
  std::string path;
  const bool odd = m_random.Percent(12);
  const std::size_t oddAt = m_random.Between(0, 2);
  for (std::size_t part = 0; path.size() + 24 < length; ++part) {
    path += '/';
    if (odd && part == oddAt) {
      path += kOddDirectories[m_random.Next() % CountOf(kOddDirectories)];
    } else {
      path += kDirectories[m_random.Next() % CountOf(kDirectories)];
    }
  }
  const std::string extension = kExtensions[m_random.Next() % CountOf(kExtensions)];
  path += "/f";
  while (path.size() + extension.size() < length) {
    path += static_cast<char>('a' + m_random.Next() % 26);
  }
  path.resize(length - extension.size());
  return path + extension;
}

std::string RecordGenerator::Metadata() {
  std::string text = "owner=";
  text += kOwners[m_random.Next() % CountOf(kOwners)];
  text += ",mode=0" + std::to_string(m_random.Between(600, 777));
  text += ",tags=" + std::to_string(m_random.Between(1, 99999));
  if (m_random.Percent(20)) text += ",note=\"kept\"";
  return text;
}

void RecordGenerator::AppendCollectRecord(std::string* out) {
  const uint64_t size = m_random.Between(0, 50'000'000);
  ++m_fileId;
  *out += std::to_string(m_random.Between(1, 20));
  *out += ',' + std::to_string(m_fileId);
  *out += ',' + std::to_string(m_offset);
  *out += ',' + std::to_string(size);
  *out += ',';
  const std::string name = Path(m_random.Between(40, 120));
  *out += CollectField(name);
  *out += m_random.Percent(97) ? ",1," : ",0,";
  *out += CollectField(Metadata());
  *out += m_random.Percent(5) ? "\r\n" : "\n";
  m_offset += size;
}

void RecordGenerator::AppendStubLine(std::string* out) {
  const uint64_t kind = m_random.Between(0, 99);
  if (kind == 0) {  // an empty line
    *out += '\n';
    return;
  }
  *out += std::to_string(m_random.Between(1, 99999));
  if (kind != 1) *out += ',';  // kind 1: no delimiter at all
  *out += Path(m_random.Between(40, 120));
  if (kind < 8) *out += ":30";  // a ':' the last one does not cut away
  if (kind >= 15) *out += ':' + std::to_string(m_random.Between(0, 4'000'000'000));
  if (kind >= 5 && kind < 7) *out += '\t';
  *out += kind >= 93 ? "\r\n" : "\n";
}

}  // namespace bench
