// The host's string class and its array, as this SDK declares them.
#ifndef FOREIGN_SDK_KASTRING_H_
#define FOREIGN_SDK_KASTRING_H_

#include <cstddef>
#include <string>
#include <vector>

class CKaStringArray;

class CKaString {
 public:
  CKaString();
  explicit CKaString(const char* text);
  CKaString(const char* text, std::size_t length);
  CKaString(const CKaString& other);
  CKaString& operator=(const CKaString& other);
  ~CKaString();

  const char* GetString() const;
  std::size_t GetLength() const;

  // One element per field, appended to `fields`. Quotes group, the escape
  // byte makes the next byte literal; `trimBlanks` removes blanks around
  // every field.
  void Tokenize(CKaStringArray& fields, char openQuote, char closeQuote,
                char escape, char separator, bool trimBlanks) const;

 private:
  static constexpr std::size_t kTextSize = 4096;

  void Set(const char* text, std::size_t length);

  char m_text[kTextSize];  // texts shorter than kTextSize
  char* m_heap;            // longer ones
  std::size_t m_length;
  unsigned int m_hash;
};

class CKaStringArray {
 public:
  CKaStringArray();
  CKaStringArray(const CKaStringArray&) = delete;
  CKaStringArray& operator=(const CKaStringArray&) = delete;
  ~CKaStringArray();

  std::size_t GetSize() const;
  const CKaString& GetAt(std::size_t index) const;
  void Add(const CKaString& element);
  void RemoveAll();

 private:
  static constexpr std::size_t kInlineElements = 64;

  CKaString m_inline[kInlineElements];
  std::vector<CKaString> m_more;
  std::size_t m_size;
  unsigned int m_generation;
};

#endif  // FOREIGN_SDK_KASTRING_H_
