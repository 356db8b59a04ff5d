// Stand-in for the host's libKaUtils: CKaString and CKaStringArray.
// A test double: a build for a host uses the host's own library and headers.
//
// The collect reader builds a string and splits it once per record. Short
// texts and a record's worth of fields live inside the objects, so that
// costs no allocation. Tokenize reads a field one byte at a time, except
// with the reader's own settings: then it finds the quotes, escapes and
// separators sixteen bytes at a time, copies the runs between them whole,
// and takes a field that holds no quote or escape as it stands.
#include "KaString.h"

#include <cstring>
#include <memory>
#include <new>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

CKaString::CKaString() : m_data(m_inline), m_length(0) { m_inline[0] = '\0'; }
CKaString::CKaString(const char* text)
    : CKaString(text != nullptr ? text : "", text != nullptr ? std::strlen(text) : 0) {}
CKaString::CKaString(const char* text, std::size_t length)
    : m_data(length < kInlineSize ? m_inline : new char[length + 1]), m_length(length) {
  if (length > 0) std::memcpy(m_data, text, length);
  m_data[length] = '\0';
}
CKaString::CKaString(const CKaString& other) : CKaString(other.m_data, other.m_length) {}
CKaString& CKaString::operator=(const CKaString& other) {
  if (this != &other) Assign(other.m_data, other.m_length);
  return *this;
}
CKaString::~CKaString() { Release(); }

const char* CKaString::GetString() const { return m_data; }
std::size_t CKaString::GetLength() const { return m_length; }

// Allocates before it lets go of the old text, so a failed allocation
// leaves the string as it was.
void CKaString::Assign(const char* text, std::size_t length) {
  char* const target = length < kInlineSize ? m_inline : new char[length + 1];
  if (length > 0) std::memcpy(target, text, length);
  target[length] = '\0';
  if (m_data != target) Release();
  m_data = target;
  m_length = length;
}

void CKaString::Release() {
  if (m_data != m_inline) delete[] m_data;
  m_data = m_inline;
}

namespace {

struct Syntax {
  char openQuote;
  char closeQuote;
  char escape;
  char separator;
  bool trimBlanks;
};

// The settings the collect reader splits every record with.
constexpr Syntax kReaderSyntax{'"', '"', '\\', ',', false};

bool IsReaderSyntax(const Syntax& s) {
  return s.openQuote == kReaderSyntax.openQuote && s.closeQuote == kReaderSyntax.closeQuote &&
         s.escape == kReaderSyntax.escape && s.separator == kReaderSyntax.separator &&
         s.trimBlanks == kReaderSyntax.trimBlanks;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// One decoded field: `length` bytes at `text`, ended in the input by the
// separator at `end`, or by the end of the input when `end` is its size.
struct DecodedField {
  const char* text;
  std::size_t length;
  std::size_t end;
};

// Reads the field that starts at text[begin] one byte at a time and writes
// its text to `out`, which has room for size - begin bytes. An escape makes
// the next byte literal, inside quotes and outside; a separator ends the
// field only outside quotes; quote bytes are dropped. With trimming, blanks
// around the unquoted text go, quoted and escaped ones stay. The order of
// the tests decides for settings that use one byte for two roles.
DecodedField DecodeField(const char* text, std::size_t begin, std::size_t size, const Syntax& s,
                         char* out) {
  std::size_t length = 0;
  std::size_t kept = 0;  // trimming stops here: the end of quoted or escaped text
  bool sawQuote = false;
  bool inQuote = false;
  std::size_t i = begin;
  for (; i < size; ++i) {
    const char c = text[i];
    if (c == s.escape && i + 1 < size) {
      out[length++] = text[++i];
      kept = length;
    } else if (inQuote) {
      if (c == s.closeQuote) {
        inQuote = false;
      } else {
        out[length++] = c;
        kept = length;
      }
    } else if (c == s.openQuote) {
      inQuote = true;
      sawQuote = true;
      kept = length;
    } else if (c == s.separator) {
      break;
    } else if (!(s.trimBlanks && IsBlank(c) && length == 0 && !sawQuote)) {
      out[length++] = c;
    }
  }
  if (s.trimBlanks) {
    while (length > kept && IsBlank(out[length - 1])) --length;
  }
  return DecodedField{out, length, i};
}

// Position of the first of the bytes a, b and c in text[from, size), or
// `size`.
std::size_t FindAnyOf(const char* text, std::size_t from, std::size_t size, char a, char b, char c) {
  std::size_t i = from;
#if defined(__SSE2__)
  // Sixteen bytes per step: a field runs for dozens of bytes between two
  // bytes that matter.
  const __m128i va = _mm_set1_epi8(a);
  const __m128i vb = _mm_set1_epi8(b);
  const __m128i vc = _mm_set1_epi8(c);
  for (; i + 16 <= size; i += 16) {
    const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + i));
    const __m128i hits = _mm_or_si128(
        _mm_or_si128(_mm_cmpeq_epi8(block, va), _mm_cmpeq_epi8(block, vb)), _mm_cmpeq_epi8(block, vc));
    const unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(hits));
    if (mask != 0) return i + static_cast<std::size_t>(__builtin_ctz(mask));
  }
#endif
  while (i < size && text[i] != a && text[i] != b && text[i] != c) ++i;
  return i;
}

// With the reader's settings: DecodeField, with the runs of bytes between
// the bytes that matter found and copied whole, and a field that holds no
// quote or escape taken from the text as it stands. Outside quotes the
// quote, the escape and the separator matter; inside, the one quote byte
// that also closes them and the escape.
DecodedField DecodeReaderField(const char* text, std::size_t begin, std::size_t size, char* out) {
  const Syntax& s = kReaderSyntax;
  const auto nextStop = [&](std::size_t from, bool inQuote) {
    return FindAnyOf(text, from, size, s.openQuote, s.escape, inQuote ? s.escape : s.separator);
  };
  std::size_t stop = nextStop(begin, false);
  if (stop == size || text[stop] == s.separator) return DecodedField{text + begin, stop - begin, stop};
  std::size_t length = 0;
  bool inQuote = false;
  for (std::size_t i = begin;; stop = nextStop(i, inQuote)) {
    std::memcpy(out + length, text + i, stop - i);
    length += stop - i;
    if (stop == size) return DecodedField{out, length, size};
    const char c = text[stop];
    i = stop + 1;
    if (c == s.escape && i < size) {
      out[length++] = text[i++];
    } else if (c == s.openQuote) {
      inQuote = !inQuote;
    } else if (c == s.separator) {
      return DecodedField{out, length, stop};
    } else {  // an escape that ends the text
      out[length++] = c;
    }
  }
}

// Room for one decoded field, which is never longer than the whole text.
class FieldBuffer {
 public:
  explicit FieldBuffer(std::size_t size) : m_heap(size > sizeof m_local ? new char[size] : nullptr) {}
  char* get() { return m_heap != nullptr ? m_heap.get() : m_local; }

 private:
  char m_local[512];
  std::unique_ptr<char[]> m_heap;
};

}  // namespace

void CKaString::Tokenize(CKaStringArray& fields, char openQuote, char closeQuote, char escape,
                         char separator, bool trimBlanks) const {
  const Syntax syntax{openQuote, closeQuote, escape, separator, trimBlanks};
  const bool readerSyntax = IsReaderSyntax(syntax);
  FieldBuffer buffer(m_length);
  for (std::size_t begin = 0;;) {
    const DecodedField field = readerSyntax
                                   ? DecodeReaderField(m_data, begin, m_length, buffer.get())
                                   : DecodeField(m_data, begin, m_length, syntax, buffer.get());
    fields.Append(field.text, field.length);
    if (field.end == m_length) return;
    begin = field.end + 1;  // past the separator
  }
}

CKaStringArray::CKaStringArray()
    : m_elements(reinterpret_cast<CKaString*>(m_local)), m_size(0), m_capacity(kLocalElements) {}

CKaStringArray::~CKaStringArray() {
  RemoveAll();
  if (m_elements != reinterpret_cast<CKaString*>(m_local)) ::operator delete(m_elements);
}

std::size_t CKaStringArray::GetSize() const { return m_size; }
const CKaString& CKaStringArray::GetAt(std::size_t index) const { return m_elements[index]; }

void CKaStringArray::Add(const CKaString& element) {
  if (m_size < m_capacity) {
    Append(element.GetString(), element.GetLength());
    return;
  }
  // `element` may live in this array, whose storage moves as it grows.
  const CKaString copy(element);
  Append(copy.GetString(), copy.GetLength());
}

void CKaStringArray::RemoveAll() {
  while (m_size > 0) m_elements[--m_size].~CKaString();
}

// Moves the elements to storage for `capacity` of them, if they need more
// room. On a failed allocation the array stays as it was.
void CKaStringArray::Reserve(std::size_t capacity) {
  if (capacity <= m_capacity) return;
  CKaString* const larger = static_cast<CKaString*>(::operator new(capacity * sizeof(CKaString)));
  std::size_t copied = 0;
  try {
    for (; copied < m_size; ++copied) new (larger + copied) CKaString(m_elements[copied]);
  } catch (...) {
    while (copied > 0) larger[--copied].~CKaString();
    ::operator delete(larger);
    throw;
  }
  const std::size_t size = m_size;
  RemoveAll();
  if (m_elements != reinterpret_cast<CKaString*>(m_local)) ::operator delete(m_elements);
  m_elements = larger;
  m_size = size;
  m_capacity = capacity;
}

// Adds one element, doubling the room when it is full. `text` must not
// lie in this array's elements: growing frees them.
void CKaStringArray::Append(const char* text, std::size_t length) {
  if (m_size == m_capacity) Reserve(2 * m_capacity);
  new (m_elements + m_size) CKaString(text, length);
  ++m_size;
}
