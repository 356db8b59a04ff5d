// The tokenizer's contract, one byte at a time and with no shortcut. The
// stand-in's fast paths must give exactly what this gives; the tokenizer
// test and the tokenizer fuzz target both hold it against them.
#ifndef TESTSUPPORT_REFERENCETOKENIZER_H_
#define TESTSUPPORT_REFERENCETOKENIZER_H_

#include <cstddef>
#include <string>
#include <vector>

struct TokenizerSyntax {
  char openQuote;
  char closeQuote;
  char escape;
  char separator;
  bool trim;
};

inline std::vector<std::string> ReferenceSplit(const std::string& text, const TokenizerSyntax& s) {
  const auto isBlank = [](char c) { return c == ' ' || c == '\t'; };
  std::vector<std::string> fields;
  std::string field;
  std::size_t kept = 0;  // end of the last quoted or escaped byte
  bool sawQuote = false;
  bool inQuote = false;
  const auto finish = [&] {
    if (s.trim) {
      while (field.size() > kept && isBlank(field.back())) field.pop_back();
    }
    fields.push_back(field);
    field.clear();
    kept = 0;
    sawQuote = false;
  };
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == s.escape && i + 1 < text.size()) {
      field.push_back(text[++i]);
      kept = field.size();
    } else if (inQuote) {
      if (c == s.closeQuote) {
        inQuote = false;
      } else {
        field.push_back(c);
        kept = field.size();
      }
    } else if (c == s.openQuote) {
      inQuote = true;
      sawQuote = true;
      kept = field.size();
    } else if (c == s.separator) {
      finish();
    } else if (!(s.trim && isBlank(c) && field.empty() && !sawQuote)) {
      field.push_back(c);
    }
  }
  finish();
  return fields;
}

#endif  // TESTSUPPORT_REFERENCETOKENIZER_H_
