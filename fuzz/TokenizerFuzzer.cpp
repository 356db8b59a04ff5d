// Fuzzes the stand-in tokenizer with arbitrary bytes, quote, escape and
// separator characters and trimming flag.
#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "KaString.h"

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string TrimBlanks(const std::string& text) {
  std::size_t begin = 0, end = text.size();
  while (begin < end && IsBlank(text[begin])) ++begin;
  while (end > begin && IsBlank(text[end - 1])) --end;
  return text.substr(begin, end - begin);
}

// What any tokenizer must give for a text without quote or escape bytes.
std::vector<std::string> PlainSplit(const std::string& text, char separator, bool trim) {
  std::vector<std::string> fields;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = text.find(separator, start);
    const std::string field = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
    fields.push_back(trim ? TrimBlanks(field) : field);
    if (end == std::string::npos) return fields;
    start = end + 1;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  ByteReader in(data, size);
  const char openQuote = static_cast<char>(in.Byte());
  const char closeQuote = static_cast<char>(in.Byte());
  const char escape = static_cast<char>(in.Byte());
  const char separator = static_cast<char>(in.Byte());
  const bool trim = (in.Byte() & 1) != 0;
  const std::string text = in.Rest();

  CKaStringArray fields;
  CKaString(text.data(), text.size()).Tokenize(fields, openQuote, closeQuote, escape, separator, trim);

  const std::size_t separators = static_cast<std::size_t>(std::count(text.begin(), text.end(), separator));
  FUZZ_CHECK(fields.GetSize() >= 1);
  FUZZ_CHECK(fields.GetSize() <= separators + 1);
  std::size_t total = 0;
  std::vector<std::string> texts;
  for (std::size_t i = 0; i < fields.GetSize(); ++i) {
    const CKaString& field = fields.GetAt(i);
    FUZZ_CHECK(field.GetString() != nullptr);
    total += field.GetLength();
    texts.emplace_back(field.GetString(), field.GetLength());
  }
  FUZZ_CHECK(total <= text.size());

  const bool plain = text.find_first_of(std::string{openQuote, closeQuote, escape}) == std::string::npos;
  if (plain) FUZZ_CHECK(texts == PlainSplit(text, separator, trim));
  return 0;
}
