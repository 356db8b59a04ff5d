// mandated-floor FILE: the GetItem loop with nothing but the steps that
// every GetItem must take, through the same host libraries: what the walk
// would cost with no reader of ours around it. For each line it takes
//   - a fresh line text with room for 3072 bytes reserved;
//   - std::getline from an ifstream;
//   - a CKaString built from the line as NUL-terminated text;
//   - Tokenize with the reader's settings into a fresh CKaStringArray;
//   - the record's name field, GetAt(4).GetString() for the default seven
//     fields, without one ending CR or tab, copied into the caller's name;
//   - the line moved into the caller's line; then the string and the array
//     are destroyed.
// An empty line or one of fewer than seven fields is skipped, as GetItem
// refuses it. Names go to standard output through the NameWriter of
// vscr-walk, so the two write the same bytes the same way.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <utility>

#include "HostSettings.h"
#include "KaString.h"
#include "NameWriter.h"

namespace {

constexpr std::size_t kLineReserve = 3072;
constexpr std::size_t kFieldCount = 7;
constexpr std::size_t kNameField = kFieldCount - 3;

// One record: true with `name` written and `text` moved into `line`, or
// false for a line that GetItem refuses.
bool TakeRecord(std::string& text, std::string* name, std::string* line) {
  if (text.empty()) return false;
  const CKaString record(text.c_str());
  CKaStringArray fields;
  record.Tokenize(fields, vscr::kFieldQuote, vscr::kFieldQuote, vscr::kFieldEscape,
                  vscr::kFieldSeparator, vscr::kTrimFields);
  if (fields.GetSize() < kFieldCount) return false;
  const char* const field = fields.GetAt(kNameField).GetString();
  std::size_t length = std::strlen(field);
  if (length > 0 && (field[length - 1] == '\r' || field[length - 1] == '\t')) --length;
  name->assign(field, length);
  *line = std::move(text);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: mandated-floor COLLECT_FILE\n");
    return 2;
  }
  std::ifstream in(argv[1], std::ios::in | std::ios::binary);
  if (!in) {
    std::perror(argv[1]);
    return 1;
  }
  bench::NameWriter out;
  std::string name;
  std::string line;
  for (;;) {
    std::string text;
    text.reserve(kLineReserve);
    if (!std::getline(in, text)) break;
    if (TakeRecord(text, &name, &line)) out.Add(name);
  }
  return 0;
}
