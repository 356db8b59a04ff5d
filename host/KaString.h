// The host's string class and its growable array, the way the reader calls
// them: one CKaString per record line, split with Tokenize into a fresh
// CKaStringArray, the file name read with GetSize, GetAt and GetString.
// The public members are the contract with the host's libKaUtils; the
// private ones are our stand-in's layout. Read host/README.md before
// loading a reader built against this header with any other libKaUtils.
#ifndef HOST_KASTRING_H_
#define HOST_KASTRING_H_

#include <cstddef>
#include <string>
#include <vector>

class CKaStringArray;

class CKaString {
 public:
  CKaString();
  // Copies the NUL-terminated text; a null pointer gives the empty string.
  explicit CKaString(const char* text);
  // Copies `length` bytes, NUL bytes included; a null pointer gives the
  // empty string.
  CKaString(const char* text, std::size_t length);
  CKaString(const CKaString& other);
  CKaString& operator=(const CKaString& other);
  ~CKaString();

  // The text as a NUL-terminated string; never a null pointer.
  const char* GetString() const;
  std::size_t GetLength() const;

  // Splits the text into fields and appends one element per field to
  // `fields`, empty fields included, in the order they stand in the text.
  // `separator` splits only outside quotes; a quote opens with
  // `openQuote` and closes with `closeQuote`, and the quote characters are
  // not part of a field's text. `escape` makes the next byte literal, inside
  // quotes and outside them. With `trimBlanks` true, blanks around an
  // unquoted field are removed; with false nothing is trimmed.
  void Tokenize(CKaStringArray& fields, char openQuote, char closeQuote,
                char escape, char separator, bool trimBlanks) const;

 private:
#ifdef VSCR_HOST_PADDING  // a larger layout, for the check of a foreign host SDK
  [[maybe_unused]] char m_padding[VSCR_HOST_PADDING] = {};
#endif
  std::string m_text;
};

// A growable array of CKaString, the output of CKaString::Tokenize.
class CKaStringArray {
 public:
  CKaStringArray();
  CKaStringArray(const CKaStringArray&) = delete;
  CKaStringArray& operator=(const CKaStringArray&) = delete;
  ~CKaStringArray();

  std::size_t GetSize() const;
  // Precondition: index < GetSize().
  const CKaString& GetAt(std::size_t index) const;
  // Appends a copy of `element`, which may be an element of this array.
  void Add(const CKaString& element);
  void RemoveAll();

 private:
#ifdef VSCR_HOST_PADDING  // a larger layout, for the check of a foreign host SDK
  [[maybe_unused]] char m_padding[VSCR_HOST_PADDING] = {};
#endif
  std::vector<CKaString> m_elements;
};

#endif  // HOST_KASTRING_H_
