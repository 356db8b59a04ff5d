// Stand-in for the host's libKaUtils: CKaString and CKaStringArray.
// The host's own library replaces this one at load time.
//
// The collect reader builds a string and splits it once per record, so
// both are made cheap: short texts and a record's worth of fields need no
// allocation, and Tokenize finds the special bytes a block at a time and
// copies a plain field's bytes in one piece.
#include "KaString.h"

#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// Copies `length` bytes, sizeof(Word) <= length <= 2 * sizeof(Word), with
// two overlapping word moves: no call for the short fields of a record.
template <typename Word>
void CopyOverlapping(char* target, const char* text, std::size_t length) {
  Word head;
  Word tail;
  std::memcpy(&head, text, sizeof head);
  std::memcpy(&tail, text + length - sizeof tail, sizeof tail);
  std::memcpy(target, &head, sizeof head);
  std::memcpy(target + length - sizeof tail, &tail, sizeof tail);
}

// Copies `length` bytes and ends them with a NUL.
void CopyText(char* target, const char* text, std::size_t length) {
  if (length >= 8 && length <= 16) {
    CopyOverlapping<uint64_t>(target, text, length);
  } else if (length >= 4 && length < 8) {
    CopyOverlapping<uint32_t>(target, text, length);
  } else if (length > 0 && length < 4) {
    target[0] = text[0];
    target[length / 2] = text[length / 2];
    target[length - 1] = text[length - 1];
  } else if (length > 16) {
    std::memcpy(target, text, length);
  }
  target[length] = '\0';
}

}  // namespace

CKaString::CKaString() : m_data(m_inline), m_length(0) { m_inline[0] = '\0'; }
CKaString::CKaString(const char* text)
    : CKaString(text != nullptr ? text : "", text != nullptr ? std::strlen(text) : 0) {}
// Tokenize builds every field through this one, so it sets the members
// directly rather than through Assign.
CKaString::CKaString(const char* text, std::size_t length)
    : m_data(length < kInlineSize ? m_inline : new char[length + 1]), m_length(length) {
  CopyText(m_data, text, length);
}
CKaString::CKaString(const CKaString& other) : CKaString() {
  Assign(other.m_data, other.m_length);
}
CKaString& CKaString::operator=(const CKaString& other) {
  if (this != &other) Assign(other.m_data, other.m_length);
  return *this;
}
CKaString::~CKaString() {
  if (m_data != m_inline) delete[] m_data;
}

const char* CKaString::GetString() const { return m_data; }
std::size_t CKaString::GetLength() const { return m_length; }

// Allocates before it lets go of the old text, so a failed allocation
// leaves the string as it was.
void CKaString::Assign(const char* text, std::size_t length) {
  char* const target = length < kInlineSize ? m_inline : new char[length + 1];
  CopyText(target, text, length);
  if (m_data != target) Release();
  m_data = target;
  m_length = length;
}

void CKaString::Release() {
  if (m_data != m_inline) delete[] m_data;
  m_data = m_inline;
}

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// Up to three bytes that stop a scan; all others are skipped.
class StopBytes {
 public:
  StopBytes(char a, char b, char c) : m_a(a), m_b(b), m_c(c) {}

  // Position of the first stop byte in [from, size), or `size`.
  std::size_t Find(const char* text, std::size_t from, std::size_t size) const;

 private:
  bool Is(char x) const { return x == m_a || x == m_b || x == m_c; }

  char m_a;
  char m_b;
  char m_c;
};

std::size_t StopBytes::Find(const char* text, std::size_t from, std::size_t size) const {
  std::size_t i = from;
#if defined(__SSE2__)
  // Sixteen bytes per step: a field runs for dozens of bytes between two
  // stop bytes.
  const __m128i a = _mm_set1_epi8(m_a);
  const __m128i b = _mm_set1_epi8(m_b);
  const __m128i c = _mm_set1_epi8(m_c);
  for (; i + 16 <= size; i += 16) {
    const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + i));
    const __m128i hits = _mm_or_si128(
        _mm_or_si128(_mm_cmpeq_epi8(block, a), _mm_cmpeq_epi8(block, b)),
        _mm_cmpeq_epi8(block, c));
    const unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(hits));
    if (mask != 0) return i + static_cast<std::size_t>(__builtin_ctz(mask));
  }
#endif
  while (i < size && !Is(text[i])) ++i;
  return i;
}

// One field as it stands in the text, separator excluded. A plain field
// is its own text; any other needs Decode.
struct RawField {
  std::size_t begin;
  std::size_t end;
  bool plain;
};

// The fields of one Tokenize call. A line of up to kLocal fields needs no
// allocation; longer ones spill into a vector.
class RawFieldList {
 public:
  void Add(const RawField& field) {
    if (m_count < kLocal) {
      m_local[m_count] = field;
    } else {
      m_more.push_back(field);
    }
    ++m_count;
  }
  std::size_t size() const { return m_count; }
  const RawField& operator[](std::size_t i) const {
    return i < kLocal ? m_local[i] : m_more[i - kLocal];
  }

 private:
  static constexpr std::size_t kLocal = 32;
  RawField m_local[kLocal];
  std::vector<RawField> m_more;
  std::size_t m_count = 0;
};

struct Syntax {
  char openQuote;
  char closeQuote;
  char escape;
  char separator;
  bool trimBlanks;
};

// Finds where each field starts and ends: a separator splits only outside
// quotes, and an escape hides the byte after it. Outside quotes only the
// open quote, the escape and the separator matter; inside, only the close
// quote and the escape.
RawFieldList FindFields(const char* text, std::size_t size, const Syntax& s) {
  const StopBytes outside(s.openQuote, s.escape, s.separator);
  const StopBytes inside(s.closeQuote, s.escape, s.escape);
  RawFieldList fields;
  std::size_t begin = 0;
  bool plain = !s.trimBlanks;
  bool inQuote = false;
  for (std::size_t i = 0;;) {
    i = (inQuote ? inside : outside).Find(text, i, size);
    if (i == size) break;
    const char c = text[i++];
    if (c == s.escape && i < size) {
      ++i;
      plain = false;
    } else if (inQuote) {
      if (c == s.closeQuote) inQuote = false;
    } else if (c == s.openQuote) {
      inQuote = true;
      plain = false;
    } else if (c == s.separator) {
      fields.Add(RawField{begin, i - 1, plain});
      begin = i;
      plain = !s.trimBlanks;
    }
  }
  fields.Add(RawField{begin, size, plain});
  return fields;
}

// Appends ordinary bytes to a decoded field. Inside quotes they are kept
// from trimming; outside, leading blanks of a field are dropped while
// trimming.
class FieldText {
 public:
  FieldText(char* out, bool trimBlanks) : m_out(out), m_trimBlanks(trimBlanks) {}

  void AddQuoted(const char* bytes, std::size_t count) {
    std::memcpy(m_out + m_length, bytes, count);
    m_length += count;
    m_kept = m_length;
  }
  void AddUnquoted(const char* bytes, std::size_t count) {
    if (m_trimBlanks && m_length == 0 && !m_sawQuote) {
      while (count > 0 && IsBlank(*bytes)) {
        ++bytes;
        --count;
      }
    }
    std::memcpy(m_out + m_length, bytes, count);
    m_length += count;
  }
  void OpenQuote() {
    m_sawQuote = true;
    m_kept = m_length;
  }
  // The length of the text; trimming never cuts into quoted or escaped
  // bytes.
  std::size_t Finish() {
    if (m_trimBlanks) {
      while (m_length > m_kept && IsBlank(m_out[m_length - 1])) --m_length;
    }
    return m_length;
  }

 private:
  char* m_out;
  bool m_trimBlanks;
  std::size_t m_length = 0;
  std::size_t m_kept = 0;
  bool m_sawQuote = false;
};

// The text of a field that holds quotes or escapes, or that is trimmed,
// written to `out`; returns its length. Quote bytes are dropped and an
// escape makes the next byte literal. No separator stands outside quotes
// here: FindFields split there.
std::size_t Decode(const char* raw, std::size_t size, const Syntax& s, char* out) {
  const StopBytes outside(s.openQuote, s.escape, s.escape);
  const StopBytes inside(s.closeQuote, s.escape, s.escape);
  FieldText text(out, s.trimBlanks);
  bool inQuote = false;
  for (std::size_t i = 0;;) {
    const std::size_t stop = (inQuote ? inside : outside).Find(raw, i, size);
    if (inQuote) {
      text.AddQuoted(raw + i, stop - i);
    } else {
      text.AddUnquoted(raw + i, stop - i);
    }
    if (stop == size) break;
    const char c = raw[stop];
    i = stop + 1;
    if (c == s.escape && i < size) {
      text.AddQuoted(raw + i, 1);
      ++i;
    } else if (inQuote) {
      if (c == s.closeQuote) {
        inQuote = false;
      } else {
        text.AddQuoted(&c, 1);
      }
    } else if (c == s.openQuote) {
      inQuote = true;
      text.OpenQuote();
    } else {
      text.AddUnquoted(&c, 1);
    }
  }
  return text.Finish();
}

// Room for one decoded field, which is never longer than its raw text.
class DecodeBuffer {
 public:
  char* Get(std::size_t size) {
    if (size <= sizeof m_local) return m_local;
    if (size > m_heapSize) {
      m_heap.reset(new char[size]);
      m_heapSize = size;
    }
    return m_heap.get();
  }

 private:
  char m_local[1024];
  std::unique_ptr<char[]> m_heap;
  std::size_t m_heapSize = 0;
};

#if defined(__SSE2__)

// One bit per byte of a 64-byte block, for each byte that matters.
struct BlockBits {
  uint64_t quotes;
  uint64_t escapes;
  uint64_t separators;
};

BlockBits Classify(const char* block, const Syntax& s) {
  const __m128i quote = _mm_set1_epi8(s.openQuote);
  const __m128i escape = _mm_set1_epi8(s.escape);
  const __m128i separator = _mm_set1_epi8(s.separator);
  BlockBits bits{0, 0, 0};
  for (int k = 0; k < 4; ++k) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block + 16 * k));
    const auto mask = [&](__m128i byte) {
      return static_cast<uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, byte))))
             << (16 * k);
    };
    bits.quotes |= mask(quote);
    bits.escapes |= mask(escape);
    bits.separators |= mask(separator);
  }
  return bits;
}

// The bits of the block at `base`, with none beyond the end of the text.
// A short last block is read as the 64 bytes that end the text, shifted
// into place, or, in a text shorter than a block, from a padded copy.
BlockBits ClassifyAt(const char* text, std::size_t size, std::size_t base, const Syntax& s) {
  const std::size_t left = size - base;
  if (left >= 64) return Classify(text + base, s);
  if (size >= 64) {
    const unsigned shift = static_cast<unsigned>(64 - left);
    const BlockBits bits = Classify(text + size - 64, s);
    return BlockBits{bits.quotes >> shift, bits.escapes >> shift, bits.separators >> shift};
  }
  char padded[64] = {};  // the zero padding matches none of the bytes
  std::memcpy(padded, text, size);
  return Classify(padded, s);
}

// Bit i is the parity of the bits 0..i: set inside a quoted stretch, from
// its opening quote up to, not including, its closing one.
uint64_t PrefixParity(uint64_t x) {
  x ^= x << 1;
  x ^= x << 2;
  x ^= x << 4;
  x ^= x << 8;
  x ^= x << 16;
  x ^= x << 32;
  return x;
}


unsigned LowestBit(uint64_t x) { return static_cast<unsigned>(__builtin_ctzll(x)); }

// Turns the dropped bytes (quotes and the escapes that act) and the
// splitting separators, met in text order, into fields, handed to `emit`
// as (text, length) in order. A field whose dropped bytes all stand at its
// two ends, like a quoted name or quoted metadata, is a stretch of the text
// itself; only a field with a dropped byte inside is copied, without those
// bytes, into the buffer.
template <typename Emit>
class FieldCutter {
 public:
  FieldCutter(const char* text, std::size_t size, DecodeBuffer* buffer, Emit emit)
      : m_text(text), m_size(size), m_buffer(buffer), m_emit(emit) {}

  void Drop(std::size_t at) {
    if (m_pendingDrop) {  // it was inside the field after all
      CopyUpTo(m_dropAt);
      m_from = m_dropAt + 1;
      m_pendingDrop = false;
    }
    if (at == m_from) {  // nothing kept since the last drop or field start
      m_from = at + 1;
      return;
    }
    // Whether it ends the field is known only at the next separator.
    m_pendingDrop = true;
    m_dropAt = at;
  }
  void Split(std::size_t at) {
    std::size_t end = at;
    if (m_pendingDrop) {
      if (m_dropAt + 1 == at) {
        end = m_dropAt;  // the field's last byte: cut, not copied around
      } else {
        CopyUpTo(m_dropAt);
        m_from = m_dropAt + 1;
      }
      m_pendingDrop = false;
    }
    if (m_copy == nullptr) {
      m_emit(m_text + m_from, end - m_from);
    } else {
      CopyUpTo(end);
      m_emit(m_copy, m_copyLength);
      m_copy = nullptr;
    }
    m_from = at + 1;
  }

 private:
  // Appends the text from m_from up to `end` to this field's copy.
  void CopyUpTo(std::size_t end) {
    if (m_copy == nullptr) {
      m_copy = m_buffer->Get(m_size);
      m_copyLength = 0;
    }
    std::memcpy(m_copy + m_copyLength, m_text + m_from, end - m_from);
    m_copyLength += end - m_from;
  }

  const char* m_text;
  std::size_t m_size;
  DecodeBuffer* m_buffer;
  Emit m_emit;
  char* m_copy = nullptr;  // this field's copy, if it needs one
  std::size_t m_copyLength = 0;
  std::size_t m_from = 0;  // text before this is used or dropped
  bool m_pendingDrop = false;
  std::size_t m_dropAt = 0;
};

// Tokenize for one quote byte used to open and close, distinct non-NUL
// quote, escape and separator, and no trimming: the collect reader's case.
// Whole 64-byte blocks are classified at once, so the cost hardly depends
// on how many fields or quotes a line has.
template <typename Emit>
void SplitBlocks(const char* text, std::size_t size, const Syntax& s, Emit emit) {
  DecodeBuffer buffer;
  FieldCutter<Emit> cutter(text, size, &buffer, emit);
  bool escapeCarry = false;  // the last block's final byte escapes this block's first
  uint64_t quoteCarry = 0;   // all ones when the last block ended inside quotes
  for (std::size_t base = 0; base < size; base += 64) {
    const BlockBits bits = ClassifyAt(text, size, base, s);
    // Each escape that is not itself escaped makes the next byte literal.
    uint64_t escaped = escapeCarry ? 1 : 0;
    uint64_t acting = 0;
    escapeCarry = false;
    for (uint64_t pending = bits.escapes & ~escaped; pending != 0;) {
      const uint64_t bit = pending & (0 - pending);
      const uint64_t next = bit << 1;
      acting |= bit;
      escaped |= next;
      escapeCarry = next == 0;
      pending &= ~(bit | next);
    }
    // An escape as the very last byte has nothing to act on and stays.
    if (size - base <= 64) acting &= ~(uint64_t{1} << (size - base - 1));
    const uint64_t quotes = bits.quotes & ~escaped;
    const uint64_t inQuote = PrefixParity(quotes) ^ quoteCarry;
    quoteCarry = 0 - (inQuote >> 63);
    const uint64_t splits = bits.separators & ~escaped & ~inQuote;
    for (uint64_t events = splits | quotes | acting; events != 0; events &= events - 1) {
      const unsigned bit = LowestBit(events);
      if ((splits >> bit) & 1) {
        cutter.Split(base + bit);
      } else {
        cutter.Drop(base + bit);
      }
    }
  }
  cutter.Split(size);
}

bool SuitsBlocks(const Syntax& s) {
  return s.openQuote == s.closeQuote && !s.trimBlanks && s.openQuote != '\0' &&
         s.escape != '\0' && s.separator != '\0' && s.openQuote != s.escape &&
         s.openQuote != s.separator && s.escape != s.separator;
}

#endif  // __SSE2__

}  // namespace

void CKaString::Tokenize(CKaStringArray& fields, char openQuote,
                         char closeQuote, char escape, char separator,
                         bool trimBlanks) const {
  const Syntax syntax{openQuote, closeQuote, escape, separator, trimBlanks};
#if defined(__SSE2__)
  if (SuitsBlocks(syntax)) {
    // Elements are built as their fields are found: a record's fields fit
    // in the array's own room, and a longer line doubles it now and then.
    SplitBlocks(m_data, m_length, syntax, [&fields](const char* text, std::size_t length) {
      if (fields.m_size == fields.m_capacity) fields.Reserve(2 * fields.m_capacity);
      fields.Append(text, length);
    });
    return;
  }
#endif
  // The other settings find every field first and size the array once.
  const RawFieldList raw = FindFields(m_data, m_length, syntax);
  fields.Reserve(fields.m_size + raw.size());
  DecodeBuffer buffer;
  for (std::size_t f = 0; f < raw.size(); ++f) {
    const char* const text = m_data + raw[f].begin;
    const std::size_t size = raw[f].end - raw[f].begin;
    if (raw[f].plain) {
      fields.Append(text, size);
    } else {
      char* const out = buffer.Get(size);
      fields.Append(out, Decode(text, size, syntax, out));
    }
  }
}

CKaStringArray::CKaStringArray()
    : m_elements(reinterpret_cast<CKaString*>(m_local)),
      m_size(0),
      m_capacity(kLocalElements) {}

CKaStringArray::~CKaStringArray() {
  RemoveAll();
  if (m_elements != reinterpret_cast<CKaString*>(m_local)) ::operator delete(m_elements);
}

std::size_t CKaStringArray::GetSize() const { return m_size; }
const CKaString& CKaStringArray::GetAt(std::size_t index) const {
  return m_elements[index];
}
void CKaStringArray::Add(const CKaString& element) {
  // Grows by half again; `element` may live in this array, so it is copied
  // before the old storage goes.
  if (m_size == m_capacity) {
    const CKaString copy(element);
    Reserve(m_capacity + m_capacity / 2);
    Append(copy.GetString(), copy.GetLength());
    return;
  }
  Append(element.GetString(), element.GetLength());
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

// Precondition: m_size < m_capacity.
void CKaStringArray::Append(const char* text, std::size_t length) {
  new (m_elements + m_size) CKaString(text, length);
  ++m_size;
}
