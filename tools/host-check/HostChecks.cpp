// The checks of vscr-host-check, in a module of their own that links the
// host's libraries, so that the program starts without them and can say
// which are missing. It calls CKaString, CKaStringArray, EvDebug and
// FetchIndexInfo the way the reader does, through the headers this build
// uses, with what the reader passes (HostSettings.h).
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
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "EvDebug.h"
#include "FetchIndexInfo.h"
#include "HostChecks.h"
#include "HostSettings.h"
#include "KaString.h"

namespace {

using vscr::kFieldEscape;
using vscr::kFieldQuote;

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

using Outcome = HostCheckOutcome;

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
  const bool quoted = raw.size() >= 2 && raw.front() == kFieldQuote && raw.back() == kFieldQuote;
  const std::string inner = quoted ? raw.substr(1, raw.size() - 2) : raw;
  std::string text;
  for (std::size_t i = 0; i < inner.size(); ++i) {
    if (inner[i] == kFieldEscape && i + 1 < inner.size()) ++i;
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
  for (const std::string& form : {raw, decoded, kFieldQuote + decoded + kFieldQuote}) {
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
  text->Tokenize(*elements, kFieldQuote, kFieldQuote, kFieldEscape, vscr::kFieldSeparator,
                 vscr::kTrimFields);
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

const HostCheck kChecks[] = {
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
       log->DebugLvl(vscr::kLogFunction, vscr::kLogLevel, vscr::kLogFormat, "/data/100%s of %s.txt",
                     "/tmp/host-check %s.lst");
       log.Destroy();
       return HoldsUnless(OverrunReport(log, "libDivorar", "EvDebug.h", "EvDebug"));
     }},
    {"FetchIndexInfo: setInitFlags, setCacheType(0), destroyed without a lookup",
     [] {
       Guarded<FetchIndexInfo> service;
       service->setInitFlags(vscr::kIndexInitFlags);
       service->setCacheType(vscr::kNoCacheType);
       service.Destroy();
       return HoldsUnless(OverrunReport(service, "libLmLib", "FetchIndexInfo.h", "FetchIndexInfo"));
     }},
};

}  // namespace

extern "C" const HostCheck* VscrHostChecks(std::size_t* count) {
  *count = sizeof kChecks / sizeof kChecks[0];
  return kChecks;
}
