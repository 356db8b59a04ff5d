// Stand-in for the host's libKaUtils: CKaString and CKaStringArray.
// The host's own library replaces this one at load time.
#include "KaString.h"

#include <algorithm>

CKaString::CKaString() = default;
CKaString::CKaString(const char* text) : m_text(text != nullptr ? text : "") {}
CKaString::CKaString(const char* text, std::size_t length)
    : m_text(text, length) {}
CKaString::CKaString(const CKaString& other) = default;
CKaString& CKaString::operator=(const CKaString& other) = default;
CKaString::~CKaString() = default;

const char* CKaString::GetString() const { return m_text.c_str(); }
std::size_t CKaString::GetLength() const { return m_text.size(); }

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// Builds one field at a time. `protectedLength` is the length of the field's
// text up to its last quoted or escaped byte: trimming never cuts into it.
struct FieldBuilder {
  std::string text;
  std::size_t protectedLength = 0;
  bool sawQuote = false;

  void AddProtected(char c) {
    text.push_back(c);
    protectedLength = text.size();
  }
  void AddPlain(char c, bool trimBlanks) {
    // Leading blanks of an unquoted field are dropped while trimming.
    if (trimBlanks && IsBlank(c) && text.empty() && !sawQuote) return;
    text.push_back(c);
  }
  CKaString Finish(bool trimBlanks) {
    if (trimBlanks) {
      std::size_t end = text.size();
      while (end > protectedLength && IsBlank(text[end - 1])) --end;
      text.resize(end);
    }
    CKaString field(text.data(), text.size());
    text.clear();
    protectedLength = 0;
    sawQuote = false;
    return field;
  }
};

}  // namespace

void CKaString::Tokenize(CKaStringArray& fields, char openQuote,
                         char closeQuote, char escape, char separator,
                         bool trimBlanks) const {
  // Size the output once: there are at most one more fields than separators.
  const std::size_t separators = static_cast<std::size_t>(
      std::count(m_text.begin(), m_text.end(), separator));
  fields.m_elements.reserve(fields.m_elements.size() + separators + 1);

  FieldBuilder field;
  bool inQuote = false;
  for (std::size_t i = 0; i < m_text.size(); ++i) {
    const char c = m_text[i];
    if (c == escape && i + 1 < m_text.size()) {
      field.AddProtected(m_text[++i]);
    } else if (inQuote) {
      if (c == closeQuote) {
        inQuote = false;
      } else {
        field.AddProtected(c);
      }
    } else if (c == openQuote) {
      inQuote = true;
      field.sawQuote = true;
      field.protectedLength = field.text.size();
    } else if (c == separator) {
      fields.m_elements.push_back(field.Finish(trimBlanks));
    } else {
      field.AddPlain(c, trimBlanks);
    }
  }
  fields.m_elements.push_back(field.Finish(trimBlanks));
}

CKaStringArray::CKaStringArray() = default;
CKaStringArray::~CKaStringArray() = default;

std::size_t CKaStringArray::GetSize() const { return m_elements.size(); }
const CKaString& CKaStringArray::GetAt(std::size_t index) const {
  return m_elements[index];
}
void CKaStringArray::Add(const CKaString& element) {
  m_elements.push_back(element);
}
void CKaStringArray::RemoveAll() { m_elements.clear(); }
