// vscr-host-check: does this set of host libraries give the reader what it
// relies on? It calls CKaString, CKaStringArray, EvDebug and FetchIndexInfo
// the way the reader does, through the headers this build uses and the
// libraries the loader finds, and prints one line per check, then
// "host contract: N of M hold". The exit status is 0 only when all hold.
//
// Every host object lives in a block with a guard band behind the size that
// the headers give its class. The reader keeps these objects by value on its
// stack, so a library whose classes are larger than the headers say writes
// over the reader's frame; here it writes into the guard band instead, and
// the check says so. The band is read again after each object is destroyed,
// since a destructor may write past its object too. A library that agrees
// with the headers never touches the band, so a guard that shows a write is
// never a false alarm. It cannot see a larger class whose extra bytes are
// only read.
//
// Each check runs in a child process of its own: a crash or a sanitizer
// report fails that check, and the others still run.
#include <getopt.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "EvDebug.h"
#include "FetchIndexInfo.h"
#include "KaString.h"

namespace {

// What the reader passes and expects (see reader/VivodStubCollectReader.cpp
// and reader/ProcessStubCollectFile.cpp).
constexpr char kQuote = '"';
constexpr char kEscape = '\\';
constexpr char kSeparator = ',';
constexpr char kLogFunction[] = "VivodStubCollectReader::ProcessStubCollectFile";
constexpr int kLogLevel = 2;
constexpr char kLogFormat[] = "Writing %s to file [%s].";
constexpr unsigned int kIndexInitFlags = 0x2080861;
constexpr unsigned int kNoCacheType = 0;

constexpr std::size_t kGuardBand = 1 << 20;
constexpr unsigned char kGuardByte = 0xA5;

// A host object of class T in a block of its declared size plus a guard band.
template <typename T>
class Guarded {
 public:
  template <typename... Args>
  explicit Guarded(Args&&... args)
      : m_block(static_cast<unsigned char*>(
            ::operator new(sizeof(T) + kGuardBand, std::align_val_t(alignof(T))))) {
    std::memset(m_block + sizeof(T), kGuardByte, kGuardBand);
    m_object = new (m_block) T(std::forward<Args>(args)...);
  }
  ~Guarded() {
    Destroy();
    ::operator delete(m_block, std::align_val_t(alignof(T)));
  }
  Guarded(const Guarded&) = delete;
  Guarded& operator=(const Guarded&) = delete;

  T& operator*() { return *m_object; }
  T* operator->() { return m_object; }
  void Destroy() {
    if (m_object != nullptr) m_object->~T();
    m_object = nullptr;
  }

  // How far past the declared size the library has written; 0 when it kept
  // to it.
  std::size_t Overrun() const {
    const unsigned char* const band = m_block + sizeof(T);
    for (std::size_t i = kGuardBand; i > 0; --i) {
      if (band[i - 1] != kGuardByte) return i;
    }
    return 0;
  }

 private:
  unsigned char* m_block;
  T* m_object = nullptr;
};

struct Outcome {
  bool holds;
  std::string detail;  // why it does not hold
};

Outcome HoldsUnless(const std::string& problem) { return {problem.empty(), problem}; }

// Empty when the library kept to the size that `header` gives `type`.
template <typename T>
std::string OverrunReport(const Guarded<T>& object, const char* library, const char* header,
                          const char* type) {
  const std::size_t overrun = object.Overrun();
  if (overrun == 0) return std::string();
  return std::string(library) + " wrote " + std::to_string(overrun) + " bytes past the " +
         std::to_string(sizeof(T)) + " bytes that " + header + " gives " + type +
         ": its class is larger than the header this build uses";
}

// Short enough for one line of output.
std::string Shown(const char* text) {
  if (text == nullptr) return "null";
  const std::size_t length = std::strlen(text);
  std::string shown = "\"";
  for (std::size_t i = 0; i < length && i < 32; ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    char escaped[8];
    std::snprintf(escaped, sizeof escaped, c >= 0x20 && c < 0x7f ? "%c" : "\\x%02x", c);
    shown += escaped;
  }
  shown += length > 32 ? "...\"" : "\"";
  return shown + " (" + std::to_string(length) + " bytes)";
}

// The field `raw`, as it stands in the line, with its quotes removed and
// every escaped byte taken literally.
std::string Decoded(const std::string& raw) {
  const bool quoted = raw.size() >= 2 && raw.front() == kQuote && raw.back() == kQuote;
  const std::string inner = quoted ? raw.substr(1, raw.size() - 2) : raw;
  std::string text;
  for (std::size_t i = 0; i < inner.size(); ++i) {
    if (inner[i] == kEscape && i + 1 < inner.size()) ++i;
    text.push_back(inner[i]);
  }
  return text;
}

std::string Trimmed(const std::string& text) {
  const char* const blanks = " \t\r";
  const std::size_t first = text.find_first_not_of(blanks);
  if (first == std::string::npos) return std::string();
  return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

// Whether the quotes stay in a field's text, whether escapes are resolved
// and whether blanks around a field go is the host tokenizer's own choice;
// the reader relies on one element per field, in line order, that holds the
// field's text in one of these forms.
bool ReadsAs(const char* text, const std::string& raw) {
  const std::string decoded = Decoded(raw);
  for (const std::string& form : {raw, decoded, kQuote + decoded + kQuote}) {
    if (Trimmed(text) == Trimmed(form)) return true;
  }
  return false;
}

// Empty when `elements` holds one element per field of `rawFields`, in
// order; a null pointer from GetString fails too.
std::string Mismatch(const CKaStringArray& elements, const std::vector<std::string>& rawFields) {
  if (elements.GetSize() != rawFields.size()) {
    return std::to_string(elements.GetSize()) + " elements for " +
           std::to_string(rawFields.size()) + " fields";
  }
  for (std::size_t i = 0; i < rawFields.size(); ++i) {
    const char* const text = elements.GetAt(i).GetString();
    if (text == nullptr) return "element " + std::to_string(i) + " gives a null pointer";
    if (!ReadsAs(text, rawFields[i])) {
      return "element " + std::to_string(i) + " is " + Shown(text) + ", not " +
             Shown(Decoded(rawFields[i]).c_str());
    }
  }
  return std::string();
}

std::string Joined(const std::vector<std::string>& rawFields) {
  std::string line;
  for (std::size_t i = 0; i < rawFields.size(); ++i) line += (i > 0 ? "," : "") + rawFields[i];
  return line;
}

// Splits the line made of `rawFields` as the reader does and compares the
// elements with the fields. The guard bands are read before and again after
// both objects are destroyed: a library may write past an object while
// destroying it, too.
Outcome Splits(const std::vector<std::string>& rawFields) {
  const std::string line = Joined(rawFields);
  Guarded<CKaString> text(line.c_str());
  Guarded<CKaStringArray> elements;
  const auto overrun = [&] {
    const std::string problem = OverrunReport(text, "libKaUtils", "KaString.h", "CKaString");
    return problem.empty() ? OverrunReport(elements, "libKaUtils", "KaString.h", "CKaStringArray")
                           : problem;
  };
  text->Tokenize(*elements, kQuote, kQuote, kEscape, kSeparator, false);
  std::string problem = overrun();
  if (problem.empty()) problem = Mismatch(*elements, rawFields);
  elements.Destroy();
  text.Destroy();
  return HoldsUnless(problem.empty() ? overrun() : problem);
}

// A record of the reader's default seven fields, as they stand in the line.
std::vector<std::string> Record(const std::string& nameField, const std::string& metadata = "") {
  return {"1", "7", "4096", "10", nameField, "1", metadata};
}

// A quoted name of `length` bytes that changes along its length, with a
// comma, so that it has to be quoted.
std::string LongName(std::size_t length) {
  std::string name = "\"/archive/a,b/";
  for (std::size_t i = 0; name.size() < length + 1; ++i) name.push_back(static_cast<char>('a' + i % 26));
  return name + "\"";
}

// A record line of exactly 1 MiB.
std::vector<std::string> MebibyteRecord() {
  std::string metadata(std::size_t{1} << 20, 'm');
  metadata.resize(metadata.size() - Joined(Record("/big")).size());
  return Record("/big", metadata);
}

struct Check {
  const char* what;
  Outcome (*run)();
};

const Check kChecks[] = {
    {"Tokenize: quoted commas stay inside their fields",
     [] { return Splits({"1", "7", "4096", "\"10,11\"", "\"/data/a,b.txt\"", "1", "\"m,d,e\""}); }},
    {"Tokenize: escaped quotes and escapes inside quotes",
     [] { return Splits(Record("\"/say \\\"hi\\\" C:\\\\dir\"")); }},
    {"Tokenize: empty first, middle and last fields",
     [] { return Splits({"", "7", "", "10", "/e", "", ""}); }},
    {"Tokenize: a trailing CR ends the last field, not the record",
     [] { return Splits(Record("/data/cr.txt", "meta\r")); }},
    {"Tokenize: a name of 5,000 bytes", [] { return Splits(Record(LongName(5000))); }},
    {"Tokenize: a line of 1 MiB", [] { return Splits(MebibyteRecord()); }},
    {"GetString: never null, also for empty fields", [] { return Splits({"", "\"\"", ""}); }},
    {"EvDebug(nullptr): DebugLvl with a path holding %s, then destroyed",
     [] {
       Guarded<EvDebug> log(nullptr);
       log->DebugLvl(kLogFunction, kLogLevel, kLogFormat, "/data/100%s of %s.txt",
                     "/tmp/host-check %s.lst");
       log.Destroy();
       return HoldsUnless(OverrunReport(log, "libDivorar", "EvDebug.h", "EvDebug"));
     }},
    {"FetchIndexInfo: setInitFlags, setCacheType(0), destroyed without a lookup",
     [] {
       Guarded<FetchIndexInfo> service;
       service->setInitFlags(kIndexInitFlags);
       service->setCacheType(kNoCacheType);
       service.Destroy();
       return HoldsUnless(OverrunReport(service, "libLmLib", "FetchIndexInfo.h", "FetchIndexInfo"));
     }},
};

// Runs `check` in a child process; a crash there fails it.
Outcome RunIsolated(const Check& check) {
  int pipeFds[2];
  if (::pipe(pipeFds) != 0) return {false, "cannot make a pipe"};
  std::fflush(stdout);
  std::fflush(stderr);
  const pid_t child = ::fork();
  if (child < 0) return {false, "cannot start a child process"};
  if (child == 0) {
    ::close(pipeFds[0]);
    Outcome outcome{false, "threw an exception"};
    try {
      outcome = check.run();
    } catch (const std::exception& error) {
      outcome.detail = std::string("threw ") + error.what();
    } catch (...) {
    }
    const ssize_t written = ::write(pipeFds[1], outcome.detail.data(), outcome.detail.size());
    ::_exit(outcome.holds && written >= 0 ? 0 : 1);
  }
  ::close(pipeFds[1]);
  std::string detail;
  char buffer[512];
  for (ssize_t n; (n = ::read(pipeFds[0], buffer, sizeof buffer)) > 0;) {
    detail.append(buffer, static_cast<std::size_t>(n));
  }
  ::close(pipeFds[0]);
  int status = 0;
  if (::waitpid(child, &status, 0) != child) return {false, "lost its child process"};
  if (WIFSIGNALED(status)) {
    return {false, std::string("stopped by signal ") + std::to_string(WTERMSIG(status)) + " (" +
                       strsignal(WTERMSIG(status)) + ")"};
  }
  if (WEXITSTATUS(status) == 0) return {true, std::string()};
  if (detail.empty()) detail = "exited with status " + std::to_string(WEXITSTATUS(status));
  return {false, detail};
}

constexpr char kHelp[] = R"(Usage: vscr-host-check [OPTION]
Check that the host libraries the loader finds (libKaUtils, libLmLib and
libDivorar) give libVivodStubCollectReader what it relies on: call them as
the reader does, each check in a child process of its own, and print one
line per check ("holds" or "FAILS" and why), then "host contract: N of M
hold". A class larger than the header this build uses says so.

  -h, --help     print this help and exit
      --version  print the version and exit

Exit status:
  0  every check holds
  1  a check fails, or a write error
  2  bad arguments
)";

// Standard output flushed and closed: a failed write is told, not lost.
int Finish(int status) {
  if (std::fflush(stdout) == 0 && std::ferror(stdout) == 0 && std::fclose(stdout) == 0) return status;
  std::fprintf(stderr, "vscr-host-check: write error: %s\n", std::strerror(errno != 0 ? errno : EIO));
  return 1;
}

int Refuse(const char* argument) {
  std::fprintf(stderr, "vscr-host-check: unexpected argument '%s'\n"
                       "Try 'vscr-host-check --help' for more information.\n", argument);
  return 2;
}

// --help or --version, alone; any other argument gives 2. -1 when the
// checks are to run.
int Arguments(int argc, char** argv) {
  const option options[] = {{"help", 0, nullptr, 'h'}, {"version", 0, nullptr, 'V'}, {nullptr, 0, nullptr, 0}};
  opterr = 0;
  int asked = 0;
  for (int id; (id = getopt_long(argc, argv, "h", options, nullptr)) != -1; asked = id) {
    if (id == '?' || asked != 0) return Refuse(argv[optind - 1]);
  }
  if (optind < argc) return Refuse(argv[optind]);
  if (asked == 'h') return Finish((std::fputs(kHelp, stdout), 0));
  if (asked == 0) return -1;
  std::printf("vscr-host-check (VivodStubCollectReader) %s\nBuilt against %s.\n", VSCR_VERSION,
              VSCR_HOST_LIBRARIES);
  return Finish(0);
}

}  // namespace

int main(int argc, char** argv) {
  const int told = Arguments(argc, argv);
  if (told >= 0) return told;
  int holding = 0;
  int total = 0;
  for (const Check& check : kChecks) {
    const Outcome outcome = RunIsolated(check);
    ++total;
    if (outcome.holds) ++holding;
    std::printf("%s  %s%s%s\n", outcome.holds ? "holds" : "FAILS", check.what,
                outcome.holds ? "" : ": ", outcome.detail.c_str());
  }
  std::printf("host contract: %d of %d hold\n", holding, total);
  return Finish(holding == total ? 0 : 1);
}
