// A field of a collect file as the index service writes it, for the tests
// and the benchmarks' generator that write collect files by hand.
#ifndef TESTS_SUPPORT_COLLECTFIELD_H_
#define TESTS_SUPPORT_COLLECTFIELD_H_

#include <string>

// `text` as it stands, or in quotes with quote and escape bytes escaped
// when it holds a byte that the reader's tokenizer would split or drop.
inline std::string CollectField(const std::string& text) {
  if (text.find_first_of(",\"\\") == std::string::npos) return text;
  std::string quoted = "\"";
  for (const char c : text) {
    if (c == '"' || c == '\\') quoted.push_back('\\');
    quoted.push_back(c);
  }
  return quoted + "\"";
}

#endif  // TESTS_SUPPORT_COLLECTFIELD_H_
