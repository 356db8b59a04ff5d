#include "KaString.h"

#include <cstring>

CKaString::CKaString() : m_heap(nullptr), m_length(0), m_hash(0) { m_text[0] = '\0'; }

CKaString::CKaString(const char* text) : CKaString() {
  if (text != nullptr) Set(text, std::strlen(text));
}

CKaString::CKaString(const char* text, std::size_t length) : CKaString() {
  if (text != nullptr) Set(text, length);
}

CKaString::CKaString(const CKaString& other) : CKaString() {
  Set(other.GetString(), other.m_length);
}

CKaString& CKaString::operator=(const CKaString& other) {
  if (this != &other) {
    const std::string copy(other.GetString(), other.m_length);
    Set(copy.data(), copy.size());
  }
  return *this;
}

CKaString::~CKaString() { delete[] m_heap; }

void CKaString::Set(const char* text, std::size_t length) {
  delete[] m_heap;
  m_heap = nullptr;
  char* target = m_text;
  if (length >= kTextSize) target = m_heap = new char[length + 1];
  for (std::size_t i = 0; i < length; ++i) target[i] = text[i];
  target[length] = '\0';
  m_length = length;
  m_hash = 0;
  for (std::size_t i = 0; i < length; ++i) m_hash = m_hash * 31 + static_cast<unsigned char>(text[i]);
}

const char* CKaString::GetString() const { return m_heap != nullptr ? m_heap : m_text; }

std::size_t CKaString::GetLength() const { return m_length; }

void CKaString::Tokenize(CKaStringArray& fields, char openQuote, char closeQuote,
                         char escape, char separator, bool trimBlanks) const {
  const char* const text = GetString();
  std::string field;
  bool quoted = false;
  const auto finish = [&] {
    std::size_t begin = 0;
    std::size_t end = field.size();
    if (trimBlanks) {
      while (begin < end && (field[begin] == ' ' || field[begin] == '\t')) ++begin;
      while (end > begin && (field[end - 1] == ' ' || field[end - 1] == '\t')) --end;
    }
    fields.Add(CKaString(field.data() + begin, end - begin));
    field.clear();
  };
  for (std::size_t i = 0; i < m_length; ++i) {
    const char c = text[i];
    if (c == escape && i + 1 < m_length) {
      field.push_back(text[++i]);
    } else if (quoted) {
      if (c == closeQuote) quoted = false;
      else field.push_back(c);
    } else if (c == openQuote) {
      quoted = true;
    } else if (c == separator) {
      finish();
    } else {
      field.push_back(c);
    }
  }
  finish();
}

CKaStringArray::CKaStringArray() : m_size(0), m_generation(1) {}

CKaStringArray::~CKaStringArray() = default;

std::size_t CKaStringArray::GetSize() const { return m_size; }

const CKaString& CKaStringArray::GetAt(std::size_t index) const {
  return index < kInlineElements ? m_inline[index] : m_more[index - kInlineElements];
}

void CKaStringArray::Add(const CKaString& element) {
  if (m_size < kInlineElements) {
    m_inline[m_size] = element;
  } else {
    m_more.push_back(element);
  }
  ++m_size;
  ++m_generation;
}

void CKaStringArray::RemoveAll() {
  for (std::size_t i = 0; i < m_size && i < kInlineElements; ++i) m_inline[i] = CKaString();
  m_more.clear();
  m_size = 0;
  ++m_generation;
}
