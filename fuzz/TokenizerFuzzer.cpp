// Fuzzes the stand-in tokenizer against its byte-by-byte contract, with
// arbitrary bytes, quote, escape and separator characters and trimming
// flag. Half of the inputs use the collect reader's own settings, which
// take the tokenizer's fastest path.
//
// Input: a selector byte, four syntax bytes, a flag byte, then the text.
#include <cstdint>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "KaString.h"
#include "ReferenceTokenizer.h"

namespace {

TokenizerSyntax ChooseSyntax(ByteReader* in) {
  const bool readersOwn = (in->Byte() & 1) == 0;
  TokenizerSyntax syntax{};
  syntax.openQuote = static_cast<char>(in->Byte());
  syntax.closeQuote = static_cast<char>(in->Byte());
  syntax.escape = static_cast<char>(in->Byte());
  syntax.separator = static_cast<char>(in->Byte());
  syntax.trim = (in->Byte() & 1) != 0;
  if (readersOwn) syntax = TokenizerSyntax{'"', '"', '\\', ',', false};
  return syntax;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  ByteReader in(data, size);
  const TokenizerSyntax syntax = ChooseSyntax(&in);
  const std::string text = in.Rest();

  CKaStringArray fields;
  CKaString(text.data(), text.size())
      .Tokenize(fields, syntax.openQuote, syntax.closeQuote, syntax.escape, syntax.separator, syntax.trim);

  std::vector<std::string> texts;
  for (std::size_t i = 0; i < fields.GetSize(); ++i) {
    const CKaString& field = fields.GetAt(i);
    FUZZ_CHECK(field.GetString() != nullptr);
    FUZZ_CHECK(field.GetString()[field.GetLength()] == '\0');
    texts.emplace_back(field.GetString(), field.GetLength());
  }
  FUZZ_CHECK(texts == ReferenceSplit(text, syntax));
  return 0;
}
