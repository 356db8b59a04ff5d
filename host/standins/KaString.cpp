// Stand-in for the host's libKaUtils, for tests and the example host. Plain
// on purpose: its speed is never the reader's.
#include "KaString.h"

CKaString::CKaString() = default;
CKaString::CKaString(const char* text) : m_text(text != nullptr ? text : "") {}
CKaString::CKaString(const char* text, std::size_t length)
    : m_text(text != nullptr ? std::string(text, length) : std::string()) {}
CKaString::CKaString(const CKaString& other) = default;
CKaString& CKaString::operator=(const CKaString& other) = default;
CKaString::~CKaString() = default;

const char* CKaString::GetString() const { return m_text.c_str(); }
std::size_t CKaString::GetLength() const { return m_text.size(); }

static bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// One byte at a time, into room for the whole text. The order of the tests
// decides for settings that give one byte two roles: the escape comes
// first, then the quotes, then the separator.
void CKaString::Tokenize(CKaStringArray& fields, char openQuote, char closeQuote, char escape,
                         char separator, bool trimBlanks) const {
  const char* const text = m_text.data();
  const std::size_t size = m_text.size();
  std::string room(size, '\0');
  char* const out = &room[0];
  std::size_t length = 0;
  std::size_t kept = 0;  // trimming stops here: the end of quoted or escaped text
  bool sawQuote = false;
  bool inQuote = false;
  CKaString field;  // each field in turn, as Add copies it
  const auto finish = [&] {
    if (trimBlanks) {
      while (length > kept && IsBlank(out[length - 1])) --length;
    }
    field.m_text.assign(out, length);
    fields.Add(field);
    length = kept = 0;
    sawQuote = false;
  };
  for (std::size_t i = 0; i < size; ++i) {
    const char c = text[i];
    if (c == escape && i + 1 < size) {
      out[length++] = text[++i];
      kept = length;
    } else if (inQuote) {
      if (c == closeQuote) {
        inQuote = false;
      } else {
        out[length++] = c;
        kept = length;
      }
    } else if (c == openQuote) {
      inQuote = true;
      sawQuote = true;
      kept = length;
    } else if (c == separator) {
      finish();
    } else if (!(trimBlanks && IsBlank(c) && length == 0 && !sawQuote)) {
      out[length++] = c;  // leading blanks of an unquoted field go when trimming
    }
  }
  finish();
}

CKaStringArray::CKaStringArray() = default;
CKaStringArray::~CKaStringArray() = default;

std::size_t CKaStringArray::GetSize() const { return m_elements.size(); }
const CKaString& CKaStringArray::GetAt(std::size_t index) const { return m_elements[index]; }
// push_back copies an element of the vector itself before it reallocates.
void CKaStringArray::Add(const CKaString& element) { m_elements.push_back(element); }
void CKaStringArray::RemoveAll() { m_elements.clear(); }
