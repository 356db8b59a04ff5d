#include "FetchIndexInfo.h"

#include <sys/stat.h>

#include <cstring>
#include <fstream>
#include <sstream>
#include <vector>

namespace {

// Quotes a name that holds the separator, a quote or the escape byte.
std::string NameField(const std::string& path) {
  if (path.find_first_of(",\"\\") == std::string::npos) return path;
  std::string field = "\"";
  for (const char c : path) {
    if (c == '"' || c == '\\') field.push_back('\\');
    field.push_back(c);
  }
  return field + "\"";
}

}  // namespace

FetchIndexInfo::FetchIndexInfo() : m_initFlags(0), m_cacheType(0), m_ready(false) {
  std::memset(m_scratch, 0, sizeof m_scratch);
}

FetchIndexInfo::~FetchIndexInfo() = default;

void FetchIndexInfo::setInitFlags(unsigned int flags) { m_initFlags |= flags; }

void FetchIndexInfo::setCacheType(unsigned int cacheType) { m_cacheType = cacheType; }

int FetchIndexInfo::initByCurrentJobId(std::string& jobId, unsigned int, unsigned int,
                                       unsigned int, std::string) {
  m_jobId = jobId;
  m_ready = !jobId.empty();
  return m_ready ? 0 : 1;
}

int FetchIndexInfo::lookup(const std::string& inputFile, const std::string& outputPath,
                           const std::string& fields, std::string separator, std::string,
                           GETINDEXARCHINFO_FLAGS, std::string, unsigned long) {
  if (!m_ready) return 1;
  std::ifstream input(inputFile);
  std::ofstream output(outputPath);
  if (!input || !output) return 2;
  std::vector<std::string> names;
  std::istringstream list(fields);
  for (std::string name; std::getline(list, name, ',');) names.push_back(name);
  unsigned long number = 0;
  unsigned long offset = 0;
  for (std::string path; std::getline(input, path);) {
    if (path.empty()) continue;
    if (path[0] != '/') return 3;
    struct stat info {};
    const bool present = ::stat(path.c_str(), &info) == 0;
    const unsigned long size = present ? static_cast<unsigned long>(info.st_size) : 0;
    ++number;
    for (std::size_t i = 0; i < names.size(); ++i) {
      if (i > 0) output << separator;
      if (names[i] == "full_file_name") output << NameField(path);
      else if (names[i] == "file_size") output << size;
      else if (names[i] == "isvalid") output << (present ? 1 : 0);
      else if (names[i] == "arch_group_id") output << 1;
      else if (names[i] == "arch_file_id") output << number;
      else if (names[i] == "arch_file_offs") output << offset;
    }
    output << '\n';
    offset += size;
  }
  output.close();
  return output ? 0 : 4;
}
