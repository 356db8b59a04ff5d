// Stand-in for the host's libKaUtils: CKaString and CKaStringArray, for
// tests and the example host. Plain on purpose: its speed is never the
// reader's.
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

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// One field being read, and what trimming needs to know of it.
struct Field {
  std::string text;
  std::size_t kept = 0;  // trimming stops here: the end of quoted or escaped text
  bool sawQuote = false;

  void Keep(char c) {
    text.push_back(c);
    kept = text.size();
  }
};

}  // namespace

// One byte at a time. The order of the tests decides for settings that give
// one byte two roles: the escape comes first, then the quotes, then the
// separator.
void CKaString::Tokenize(CKaStringArray& fields, char openQuote, char closeQuote, char escape,
                         char separator, bool trimBlanks) const {
  Field field;
  bool inQuote = false;
  const auto finish = [&] {
    if (trimBlanks) {
      while (field.text.size() > field.kept && IsBlank(field.text.back())) field.text.pop_back();
    }
    fields.Add(CKaString(field.text.data(), field.text.size()));
    field = Field();
  };
  for (std::size_t i = 0; i < m_text.size(); ++i) {
    const char c = m_text[i];
    if (c == escape && i + 1 < m_text.size()) {
      field.Keep(m_text[++i]);
    } else if (inQuote) {
      if (c == closeQuote) {
        inQuote = false;
      } else {
        field.Keep(c);
      }
    } else if (c == openQuote) {
      inQuote = true;
      field.sawQuote = true;
      field.kept = field.text.size();
    } else if (c == separator) {
      finish();
    } else if (!(trimBlanks && IsBlank(c) && field.text.empty() && !field.sawQuote)) {
      field.text.push_back(c);  // leading blanks of an unquoted field go when trimming
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
