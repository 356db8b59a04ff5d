// The reader's record tests rely on the stand-in tokenizer; a fault there
// would hide or fake faults in the reader.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "KaString.h"

namespace {

// The fields of `text`, each whole even where it holds a NUL byte.
std::vector<std::string> SplitWith(const std::string& text, char openQuote, char closeQuote,
                                   char escape, char separator, bool trim) {
  CKaStringArray fields;
  CKaString(text.data(), text.size()).Tokenize(fields, openQuote, closeQuote, escape, separator, trim);
  std::vector<std::string> out;
  for (std::size_t i = 0; i < fields.GetSize(); ++i) {
    const CKaString& field = fields.GetAt(i);
    out.emplace_back(field.GetString(), field.GetLength());
  }
  return out;
}

// With the collect reader's quotes and separator.
std::vector<std::string> Split(const std::string& text, bool trim = false, char escape = '\\') {
  return SplitWith(text, '"', '"', escape, ',', trim);
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

// The reader takes one CR off the name itself; the tokenizer keeps it.
TEST(Tokenizer, TrailingCrAndNulBytesStayInTheirField) {
  EXPECT_EQ((Fields{"a", "b\r"}), Split("a,b\r"));
  EXPECT_EQ((Fields{"q\r"}), Split("\"q\"\r"));
  EXPECT_EQ((Fields{"a \r"}), Split(" a \r", true));  // a CR is no blank
  using namespace std::string_literals;
  EXPECT_EQ((Fields{"a\0b"s, "c"}), Split("a\0b,c"s));
}

TEST(Tokenizer, OtherSettingsKeepEachByteToItsRole) {
  // Distinct quotes: only the closing one ends a quote, and outside a quote
  // it is an ordinary byte.
  EXPECT_EQ((Fields{"a,b", "c"}), SplitWith("<a,b>,c", '<', '>', '\\', ',', false));
  EXPECT_EQ((Fields{"a<b", "x>y"}), SplitWith("<a<b>,x>y", '<', '>', '\\', ',', false));
  EXPECT_EQ((Fields{"a", "b"}), SplitWith("a;b", '"', '"', '\\', ';', false));
  // One byte in two roles: the escape comes before the quote and the
  // separator, unless it ends the text.
  EXPECT_EQ((Fields{"ab"}), SplitWith("a\\b", '"', '"', '\\', '\\', false));
  EXPECT_EQ((Fields{"a", ""}), SplitWith("a\\", '"', '"', '\\', '\\', false));
  EXPECT_EQ((Fields{"\"x", "y"}), SplitWith("\"\"x,y", '"', '"', '"', ',', false));
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

TEST(Tokenizer, FieldsAreAppendedAfterWhatTheArrayHolds) {
  CKaStringArray fields;
  fields.Add(CKaString("kept"));
  CKaString("a,b").Tokenize(fields, '"', '"', '\\', ',', false);
  CKaString(std::string(300, 'y').c_str()).Tokenize(fields, '"', '"', '\\', ',', false);
  ASSERT_EQ(4u, fields.GetSize());
  EXPECT_STREQ("kept", fields.GetAt(0).GetString());
  EXPECT_STREQ("a", fields.GetAt(1).GetString());
  EXPECT_STREQ("b", fields.GetAt(2).GetString());
  EXPECT_EQ(std::string(300, 'y'), fields.GetAt(3).GetString());
}

TEST(KaString, TextIsCopiedWholeWhateverItsLength) {
  for (const std::size_t length : {0u, 1u, 15u, 16u, 238u, 239u, 240u, 241u, 5000u}) {
    std::string text(length, 'a');
    for (std::size_t i = 0; i < length; ++i) text[i] = static_cast<char>('a' + i % 26);
    const CKaString original(text.c_str());
    EXPECT_EQ(length, original.GetLength());
    EXPECT_EQ(text, original.GetString());
    EXPECT_EQ('\0', original.GetString()[length]);
    const CKaString copy(original);
    EXPECT_EQ(text, copy.GetString());
    EXPECT_NE(original.GetString(), copy.GetString());  // a copy, not shared
    CKaString shortOne("s");
    CKaString longOne(std::string(1000, 'L').c_str());
    shortOne = original;
    longOne = original;
    EXPECT_EQ(text, shortOne.GetString());
    EXPECT_EQ(text, longOne.GetString());
    EXPECT_EQ(length, longOne.GetLength());
    const CKaString& itself = longOne;
    longOne = itself;  // assigning a string to itself keeps its text
    EXPECT_EQ(text, longOne.GetString());
  }
  EXPECT_STREQ("", CKaString(nullptr).GetString());
  EXPECT_STREQ("", CKaString(nullptr, 0).GetString());
  EXPECT_STREQ("", CKaString().GetString());
  // A length given explicitly may hold NUL bytes; GetString stops at them.
  const CKaString withNul("a\0b", 3);
  EXPECT_EQ(3u, withNul.GetLength());
  EXPECT_STREQ("a", withNul.GetString());
}

TEST(KaStringArray, GrowsPastAnyInlineRoomAndKeepsEveryElement) {
  CKaStringArray array;
  std::vector<std::string> expected;
  for (int i = 0; i < 100; ++i) {
    const std::string text = i % 2 ? std::string(260 + i, 'a' + i % 26) : std::to_string(i);
    array.Add(CKaString(text.c_str()));
    expected.push_back(text);
    if (i % 10 == 9) {  // an element of the array itself, added as it grows
      array.Add(array.GetAt(0));
      expected.push_back(expected[0]);
    }
  }
  ASSERT_EQ(expected.size(), array.GetSize());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(expected[i], array.GetAt(i).GetString()) << i;
  }
  array.RemoveAll();
  EXPECT_EQ(0u, array.GetSize());
  array.Add(CKaString("again"));
  ASSERT_EQ(1u, array.GetSize());
  EXPECT_STREQ("again", array.GetAt(0).GetString());
}

}  // namespace
