#include "ByteCount.h"

#include <algorithm>
#include <cstring>

#if defined(__x86_64__)
#include <cpuid.h>
#include <immintrin.h>
#elif defined(__aarch64__)
#include <arm_neon.h>
#endif

namespace vscr {
namespace {

uint64_t CountPlain(const char* p, const char* end, char byte) {
  uint64_t count = 0;
  for (; p < end; ++p) count += *p == byte ? 1 : 0;
  return count;
}

#if !defined(__x86_64__)
// Eight bytes at a time in a plain 64-bit word, on any processor; x86-64
// always has a vector unit instead.
uint64_t CountWords(const char* p, const char* end, char byte) {
  uint64_t count = 0;
  for (; end - p >= 8; p += 8) {
    uint64_t word;
    std::memcpy(&word, p, sizeof word);
    count += static_cast<uint64_t>(__builtin_popcountll(MatchBits(word, byte)));
  }
  return count + CountPlain(p, end, byte);
}
#endif

// Each byte lane of a vector counts its matches; 255 steps cannot wrap a
// lane, then the lanes are summed and start again at zero.
[[maybe_unused]] constexpr int kStepsPerSum = 255;

#if defined(__aarch64__)

// Every aarch64 processor has NEON (Advanced SIMD), so no check is needed.
uint64_t CountNeon(const char* p, const char* end, char byte) {
  constexpr long kStride = 64;  // four blocks of 16 bytes per step
  const uint8x16_t wanted = vdupq_n_u8(static_cast<uint8_t>(byte));
  const auto matches = [&](const char* at) {
    return vceqq_u8(vld1q_u8(reinterpret_cast<const uint8_t*>(at)), wanted);
  };
  uint64_t count = 0;
  for (long steps; (steps = std::min<long>((end - p) / kStride, kStepsPerSum)) > 0;) {
    // Four counters, so that the four comparisons of a step do not wait on
    // each other; a match is 0xff, so subtracting it adds one.
    uint8x16_t a = vdupq_n_u8(0), b = a, c = a, d = a;
    for (; steps > 0; --steps, p += kStride) {
      a = vsubq_u8(a, matches(p));
      b = vsubq_u8(b, matches(p + 16));
      c = vsubq_u8(c, matches(p + 32));
      d = vsubq_u8(d, matches(p + 48));
    }
    count += static_cast<uint64_t>(vaddlvq_u8(a)) + vaddlvq_u8(b) + vaddlvq_u8(c) + vaddlvq_u8(d);
  }
  return count + CountWords(p, end, byte);
}

#elif defined(__x86_64__)

uint64_t CountSse2(const char* p, const char* end, char byte) {
  const __m128i wanted = _mm_set1_epi8(byte);
  const __m128i zero = _mm_setzero_si128();
  uint64_t count = 0;
  for (long steps; (steps = std::min<long>((end - p) / 16, kStepsPerSum)) > 0;) {
    __m128i lanes = zero;
    for (; steps > 0; --steps, p += 16) {
      const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
      lanes = _mm_sub_epi8(lanes, _mm_cmpeq_epi8(block, wanted));
    }
    const __m128i sums = _mm_sad_epu8(lanes, zero);
    count += static_cast<uint64_t>(_mm_cvtsi128_si64(sums)) +
             static_cast<uint64_t>(_mm_cvtsi128_si64(_mm_unpackhi_epi64(sums, sums)));
  }
  return count + CountPlain(p, end, byte);
}

// The sum of the 32 byte lanes of `lanes`, each below 256.
__attribute__((target("avx2"))) uint64_t SumLanes(__m256i lanes) {
  const __m256i sums = _mm256_sad_epu8(lanes, _mm256_setzero_si256());
  return static_cast<uint64_t>(_mm256_extract_epi64(sums, 0)) +
         static_cast<uint64_t>(_mm256_extract_epi64(sums, 1)) +
         static_cast<uint64_t>(_mm256_extract_epi64(sums, 2)) +
         static_cast<uint64_t>(_mm256_extract_epi64(sums, 3));
}

// 0xff in each byte lane of the 32 bytes at `at` that equals `wanted`'s.
__attribute__((target("avx2"))) inline __m256i Matches(const char* at, __m256i wanted) {
  return _mm256_cmpeq_epi8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(at)), wanted);
}

__attribute__((target("avx2"))) uint64_t CountAvx2(const char* p, const char* end, char byte) {
  constexpr long kStride = 128;  // four blocks of 32 bytes per step
  const __m256i wanted = _mm256_set1_epi8(byte);
  uint64_t count = 0;
  for (long steps; (steps = std::min<long>((end - p) / kStride, kStepsPerSum)) > 0;) {
    // Four counters, so that the four comparisons of a step do not wait on
    // each other.
    __m256i a = _mm256_setzero_si256(), b = a, c = a, d = a;
    for (; steps > 0; --steps, p += kStride) {
      a = _mm256_sub_epi8(a, Matches(p, wanted));
      b = _mm256_sub_epi8(b, Matches(p + 32, wanted));
      c = _mm256_sub_epi8(c, Matches(p + 64, wanted));
      d = _mm256_sub_epi8(d, Matches(p + 96, wanted));
    }
    count += SumLanes(a) + SumLanes(b) + SumLanes(c) + SumLanes(d);
  }
  return count + CountSse2(p, end, byte);
}

// AVX2 needs the processor's support and the operating system's: it must
// save the vector registers' upper halves (XCR0 bits 1 and 2). cpuid never
// faults, so every answer is asked and then combined; only xgetbv needs
// OSXSAVE first.
bool HasAvx2() {
  unsigned a = 0, b = 0, c = 0, d = 0;
  __cpuid(1, a, b, c, d);
  if ((c & bit_OSXSAVE) == 0) return false;
  const bool hasAvx = (c & bit_AVX) != 0;
  unsigned xcr0Low = 0, xcr0High = 0;
  __asm__("xgetbv" : "=a"(xcr0Low), "=d"(xcr0High) : "c"(0));
  const bool savesYmm = (xcr0Low & 0x6) == 0x6;
  const bool hasLeaf7 = __get_cpuid_max(0, nullptr) >= 7;
  __cpuid_count(7, 0, a, b, c, d);
  return hasAvx & savesYmm & hasLeaf7 & ((b & bit_AVX2) != 0);
}

#endif

}  // namespace

uint64_t CountByte(const char* begin, const char* end, char byte) {
#if defined(__x86_64__)
  static const bool kUseAvx2 = HasAvx2();
  return kUseAvx2 ? CountAvx2(begin, end, byte) : CountSse2(begin, end, byte);
#elif defined(__aarch64__)
  return CountNeon(begin, end, byte);
#else
  return CountWords(begin, end, byte);
#endif
}

}  // namespace vscr
