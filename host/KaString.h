// The host's string class and its growable array, the way the reader calls
// them: one CKaString per record line, split with Tokenize into a fresh
// CKaStringArray, the file name read with GetSize, GetAt and GetString.
//
// The public member functions are the contract with the host's libKaUtils:
// the reader relies on them and on nothing else. The private sections are
// the layout of our stand-in (host/standins), not the host's. The reader
// keeps CKaString and CKaStringArray by value on its stack, so it must be
// compiled against the layout of the library it is loaded with: a build for
// a host uses the host's own headers through VSCR_HOST_SDK_DIR, and then
// this folder plays no part. A reader built against this header must not be
// loaded with a host libKaUtils whose classes are larger than declared here:
// they would overrun the reader's stack. vscr-host-check, run with the
// host's libraries, shows such a mismatch.
#ifndef HOST_KASTRING_H_
#define HOST_KASTRING_H_

#include <cstddef>
#include <string>

class CKaStringArray;

class CKaString {
 public:
  CKaString();
  // Copies the NUL-terminated text; a null pointer gives the empty string.
  explicit CKaString(const char* text);
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
  // Our stand-in's layout (see the top of this file).
  // Texts shorter than this live inside the object: the fields of a
  // record and most record lines then cost no allocation of their own.
  static constexpr std::size_t kInlineSize = 240;

  void Assign(const char* text, std::size_t length);
  void Release();

  char* m_data;  // m_inline or a heap block; NUL-terminated either way
  std::size_t m_length;
  char m_inline[kInlineSize];
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
  void Add(const CKaString& element);
  void RemoveAll();

 private:
  // Our stand-in's layout (see the top of this file).
  friend class CKaString;  // Tokenize builds its elements in place.

  // A record's fields fit in the object itself, so splitting one costs no
  // allocation for the array.
  static constexpr std::size_t kLocalElements = 8;

  void Reserve(std::size_t capacity);
  void Append(const char* text, std::size_t length);

  CKaString* m_elements;  // m_local or a heap block
  std::size_t m_size;
  std::size_t m_capacity;
  alignas(CKaString) unsigned char m_local[kLocalElements * sizeof(CKaString)];
};

#endif  // HOST_KASTRING_H_
