// Stand-in for the host's libLmLib, for tests and the example host: lookup
// reads `inputFile` as one absolute path per line (empty lines skipped) and
// writes one record per path with the requested fields: full_file_name
// (quoted when it needs to be), file_size and isvalid from the file system,
// arch_group_id, arch_file_id and arch_file_offs as deterministic numbers,
// and an empty text for any other field. A file error fails the lookup (a
// path that cannot be examined, rather than one that is missing, included).
#include "FetchIndexInfo.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <map>
#include <mutex>
#include <new>
#include <sstream>
#include <thread>
#include <utility>

#include "standins/FetchIndexInfoControl.h"

namespace {

// How lookup writes its records, as the test controls set it.
struct Pace {
  std::chrono::microseconds delay{0};  // before each record
  bool exiting = false;                // _exit(exitStatus) after exitAfter records
  std::size_t exitAfter = 0;
  int exitStatus = 0;
  bool throwing = false;  // std::bad_alloc after throwAfter records
  std::size_t throwAfter = 0;
};

// What the controls share with the service objects, which readers on
// several threads use at once: one mutex guards it all.
struct ServiceState {
  std::mutex mutex;
  std::vector<standin::IndexCall> journal;
  std::map<std::string, int> forced;
  Pace pace;
};

ServiceState& State() { static ServiceState state; return state; }

// Runs `use` on the state under its lock.
template <typename Use>
auto Locked(Use use) {
  ServiceState& state = State();
  const std::lock_guard<std::mutex> lock(state.mutex);
  return use(state);
}

void Record(std::string name, std::vector<std::string> args = {}) {
  Locked([&](ServiceState& s) { s.journal.push_back({std::move(name), std::move(args)}); });
}

bool Forced(const std::string& call, int* result) {
  return Locked([&](ServiceState& s) {
    const auto it = s.forced.find(call);
    if (it != s.forced.end()) *result = it->second;
    return it != s.forced.end();
  });
}

// Quotes a path the way the collect reader's tokenizer reads it back.
std::string QuotedPath(const std::string& path) {
  if (path.find_first_of(",\"\\") == std::string::npos) return path;
  std::string quoted = "\"";
  for (const char c : path) {
    if (c == '"' || c == '\\') quoted.push_back('\\');
    quoted.push_back(c);
  }
  return quoted + "\"";
}

struct ArchivedFile {
  std::string path;
  unsigned long number = 0;  // 1-based position in the input list
  unsigned long offset = 0;  // sum of the sizes of the files before it
  bool present = false;
  unsigned long size = 0;
};

std::string FieldValue(const std::string& name, const ArchivedFile& file) {
  if (name == "full_file_name") return QuotedPath(file.path);
  if (name == "file_size") return std::to_string(file.size);
  if (name == "isvalid") return file.present ? "1" : "0";
  if (name == "arch_group_id") return "1";
  if (name == "arch_file_id") return std::to_string(file.number);
  if (name == "arch_file_offs") return std::to_string(file.offset);
  return std::string();
}

// The input list read whole, or the collect file being written, whose
// records gather in a buffer and go to the file in large writes. The
// descriptor is close-on-exec from the start, like any careful library's,
// so that no child of the host inherits it. Every call that a signal
// interrupts is tried again.
class File {
 public:
  File(const std::string& path, int flags) {
    do m_fd = ::open(path.c_str(), flags | O_CLOEXEC, 0666); while (m_fd < 0 && errno == EINTR);
  }
  File(const File&) = delete;
  File& operator=(const File&) = delete;
  ~File() {
    if (m_fd >= 0) ::close(m_fd);
  }

  bool is_open() const { return m_fd >= 0; }
  bool ReadAll(std::string* text) {
    char block[kBufferSize];
    ssize_t n;
    while ((n = ::read(m_fd, block, sizeof block)) != 0) {
      if (n > 0) text->append(block, static_cast<std::size_t>(n));
      if (n < 0 && errno != EINTR) return false;
    }
    return true;
  }
  bool Append(const std::string& bytes) {
    m_pending += bytes;
    return m_pending.size() < kBufferSize || Flush();
  }
  // Hands what is buffered to the file system.
  bool Flush() {
    for (std::size_t done = 0; done < m_pending.size();) {
      const ssize_t n = ::write(m_fd, m_pending.data() + done, m_pending.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return false;
      done += static_cast<std::size_t>(n);
    }
    m_pending.clear();
    return true;
  }
  // Linux closes a file even when close is interrupted, and loses nothing.
  bool Close() {
    const bool flushed = Flush();
    const int closed = ::close(m_fd);
    const bool lost = closed != 0 && errno != EINTR;
    m_fd = -1;
    return flushed && !lost;
  }

 private:
  static constexpr std::size_t kBufferSize = 64 * 1024;
  int m_fd = -1;
  std::string m_pending;
};

// Sleeps, ends the process or throws before the record after `written`;
// each way the records so far are handed to the file system first.
bool KeepPace(const Pace& pace, std::size_t written, File& output) {
  const bool slow = pace.delay.count() > 0;
  const bool exiting = pace.exiting && written == pace.exitAfter;
  const bool throwing = pace.throwing && written == pace.throwAfter;
  if ((slow || exiting || throwing) && !output.Flush()) return false;
  if (exiting) ::_exit(pace.exitStatus);
  if (throwing) throw std::bad_alloc();
  if (slow) std::this_thread::sleep_for(pace.delay);
  return true;
}

// 0 when the file is there, 1 when it is not, -1 when it cannot be told.
int StatRetrying(const std::string& path, struct stat* info) {
  int result;
  do result = ::stat(path.c_str(), info); while (result != 0 && errno == EINTR);
  if (result == 0) return 0;
  // A name no file system holds is as missing as one it lacks.
  return errno == ENOENT || errno == ENOTDIR || errno == ENAMETOOLONG ? 1 : -1;
}

// Writes the record of `file` after finding its size; false when the file
// can be neither found nor told missing.
bool WriteRecord(ArchivedFile& file, const std::vector<std::string>& names,
                 const std::string& separator, const Pace& pace, File& output) {
  struct stat info {};
  const int found = StatRetrying(file.path, &info);
  if (found < 0) return false;
  file.present = found == 0;
  file.size = file.present ? static_cast<unsigned long>(info.st_size) : 0;
  if (!KeepPace(pace, file.number - 1, output)) return false;
  std::string record;
  for (std::size_t i = 0; i < names.size(); ++i) {
    record += (i > 0 ? separator : "") + FieldValue(names[i], file);
  }
  record += '\n';
  return output.Append(record);
}

int WriteRecords(const std::string& inputFile, const std::string& outputPath,
                 const std::string& fields, const std::string& separator) {
  File input(inputFile, O_RDONLY);
  if (!input.is_open()) return 1;
  File output(outputPath, O_WRONLY | O_CREAT | O_TRUNC);
  if (!output.is_open()) return 2;
  std::string list;
  if (!input.ReadAll(&list)) return 4;
  std::vector<std::string> names;
  std::istringstream fieldList(fields);
  for (std::string name; std::getline(fieldList, name, ',');) names.push_back(name);
  const Pace pace = Locked([](ServiceState& s) { return s.pace; });
  ArchivedFile file;
  std::istringstream lines(list);
  for (std::string path; std::getline(lines, path);) {
    if (path.empty()) continue;
    if (path.front() != '/') return output.Flush() ? 3 : 5;  // what was written so far stays
    file.offset += file.size;
    file.number += 1;
    file.path = path;
    if (!WriteRecord(file, names, separator, pace, output)) return 7;
  }
  return output.Close() ? 0 : 5;
}

}  // namespace

namespace standin {

std::vector<IndexCall> IndexJournal() {
  return Locked([](ServiceState& s) { return s.journal; });
}

void ResetIndexService() {
  Locked([](ServiceState& s) { s.journal.clear(); s.forced.clear(); s.pace = Pace(); });
}

void ForceIndexResult(const std::string& call, int result) {
  Locked([&](ServiceState& s) { s.forced[call] = result; });
}

void SlowIndexLookup(std::chrono::microseconds delay) {
  Locked([&](ServiceState& s) { s.pace.delay = delay; });
}

void ThrowInsideIndexLookup(std::size_t records) {
  Locked([&](ServiceState& s) { s.pace.throwing = true; s.pace.throwAfter = records; });
}

void ExitInsideIndexLookup(std::size_t records, int status) {
  Locked([&](ServiceState& s) {
    s.pace.exiting = true; s.pace.exitAfter = records; s.pace.exitStatus = status;
  });
}

}  // namespace standin

FetchIndexInfo::FetchIndexInfo() : m_initFlags(0), m_cacheType(0), m_bound(false) {
  Record("construct");
}

FetchIndexInfo::~FetchIndexInfo() { Record("destroy"); }

void FetchIndexInfo::setInitFlags(unsigned int flags) {
  Record("setInitFlags", {std::to_string(flags)});
  m_initFlags |= flags;
}

void FetchIndexInfo::setCacheType(unsigned int cacheType) {
  Record("setCacheType", {std::to_string(cacheType)});
  m_cacheType = cacheType;
}

int FetchIndexInfo::initByCurrentJobId(std::string& jobId, unsigned int a, unsigned int b,
                                       unsigned int c, std::string text) {
  Record("initByCurrentJobId",
         {jobId, std::to_string(a), std::to_string(b), std::to_string(c), text});
  int result = 0;
  if (Forced("initByCurrentJobId", &result)) return result;
  m_bound = !jobId.empty();
  return m_bound ? 0 : 1;
}

int FetchIndexInfo::lookup(const std::string& inputFile, const std::string& outputPath,
                           const std::string& fields, std::string separator, std::string fifth,
                           GETINDEXARCHINFO_FLAGS flags, std::string seventh,
                           unsigned long eighth) {
  Record("lookup", {inputFile, outputPath, fields, separator, fifth,
                    std::to_string(static_cast<unsigned int>(flags)), seventh,
                    std::to_string(eighth)});
  int result = 0;
  if (Forced("lookup", &result)) return result;
  if (!m_bound) return 6;
  return WriteRecords(inputFile, outputPath, fields, separator);
}
