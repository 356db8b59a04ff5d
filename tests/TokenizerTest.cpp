// The reader's record tests rely on the stand-in tokenizer; a fault there
// would hide or fake faults in the reader.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "KaString.h"

namespace {

std::vector<std::string> Split(const std::string& text, bool trim = false,
                               char escape = '\\') {
  CKaStringArray fields;
  CKaString(text.c_str()).Tokenize(fields, '"', '"', escape, ',', trim);
  std::vector<std::string> out;
  for (std::size_t i = 0; i < fields.GetSize(); ++i) out.emplace_back(fields.GetAt(i).GetString());
  return out;
}

using Fields = std::vector<std::string>;

TEST(Tokenizer, OneElementPerFieldEmptyOnesIncluded) {
  EXPECT_EQ(Fields{""}, Split(""));
  EXPECT_EQ((Fields{"", ""}), Split(","));
  EXPECT_EQ((Fields{"a", "", "c", ""}), Split("a,,c,"));
  EXPECT_EQ((Fields{" a ", "\tb"}), Split(" a ,\tb"));  // nothing trimmed
}

TEST(Tokenizer, QuotesProtectSeparatorsAndAreRemoved) {
  EXPECT_EQ((Fields{"a,b", "c"}), Split("\"a,b\",c"));
  EXPECT_EQ((Fields{"xa,by", "z"}), Split("x\"a,b\"y,z"));
  EXPECT_EQ((Fields{""}), Split("\"\""));
  EXPECT_EQ((Fields{"open, to the end"}), Split("\"open, to the end"));
}

TEST(Tokenizer, EscapeMakesTheNextByteLiteralEverywhere) {
  EXPECT_EQ((Fields{"a\"b", "c"}), Split("\"a\\\"b\",c"));
  EXPECT_EQ((Fields{"a,b"}), Split("a\\,b"));
  EXPECT_EQ((Fields{"a\\"}), Split("\"a\\\\\""));
  EXPECT_EQ((Fields{"trailing\\"}), Split("trailing\\"));
  EXPECT_EQ((Fields{"a\\b"}), Split("a\\b", false, '\0'));  // no escape byte
}

TEST(Tokenizer, TrimmingRemovesBlanksAroundUnquotedTextOnly) {
  EXPECT_EQ((Fields{"a", "b c", ""}), Split("  a , b c\t,  ", true));
  EXPECT_EQ((Fields{" q ", "x"}), Split("  \" q \"  , x", true));
  EXPECT_EQ((Fields{"e "}), Split(" e\\  ", true));  // an escaped blank stays
}

TEST(Tokenizer, ManyFieldsAndLongTextsStayExact) {
  std::string text;
  for (int i = 0; i < 10000; ++i) text += std::to_string(i) + ",";
  const Fields fields = Split(text);
  ASSERT_EQ(10001u, fields.size());
  EXPECT_EQ("9999", fields[9999]);
  EXPECT_EQ("", fields[10000]);
  const std::string longField(100000, 'x');
  EXPECT_EQ((Fields{longField}), Split("\"" + longField));
}

}  // namespace
