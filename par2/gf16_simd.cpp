// The vector paths: split 4-bit tables with pshufb.
//
// A product factor * x is the XOR of factor * (each nibble of x in its place),
// and each of those four comes from a sixteen-entry table, kept as its low
// and its high bytes. A step loads thirty-two bytes (sixteen words), gathers
// the words' low bytes into one register and their high bytes into another,
// looks the four nibbles up in the eight tables, and interleaves the low and
// high bytes of the products back into words. AVX2 does the same in each of
// its two 128-bit lanes, so a step there is sixty-four bytes.
//
// The functions carry target attributes: the rest of the build stays plain
// i686 and these run only after cpuid has said they may.
#include "gf16_simd.h"

#if defined(__i386__) || defined(__x86_64__)
#include <cpuid.h>
#include <immintrin.h>

namespace par2 {
namespace gf16_simd {
namespace {

bool os_saves_ymm() {
  unsigned eax, ebx, ecx, edx;
  if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx)) return false;
  const unsigned osxsave = 1u << 27, avx = 1u << 28;
  if ((ecx & osxsave) == 0 || (ecx & avx) == 0) return false;
  unsigned lo, hi;
  __asm__ volatile("xgetbv" : "=a"(lo), "=d"(hi) : "c"(0));
  return (lo & 6) == 6;  // the system saves XMM and YMM state
}

}  // namespace

bool cpu_has_ssse3() {
  unsigned eax, ebx, ecx, edx;
  if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx)) return false;
  return (ecx & (1u << 9)) != 0;
}

bool cpu_has_avx2() {
  unsigned eax, ebx, ecx, edx;
  if (!os_saves_ymm() || !cpu_has_ssse3()) return false;
  if (!__get_cpuid_count(7, 0, &eax, &ebx, &ecx, &edx)) return false;
  return (ebx & (1u << 5)) != 0;
}

__attribute__((target("ssse3"))) size_t mul_add_ssse3(unsigned char* dst, const unsigned char* src,
                                                      size_t length, const SplitTables& t) {
  const __m128i nibble = _mm_set1_epi8(0x0F);
  // Low bytes of the eight words to the first half, high bytes to the second.
  const __m128i gather = _mm_setr_epi8(0, 2, 4, 6, 8, 10, 12, 14, 1, 3, 5, 7, 9, 11, 13, 15);
  // Loaded once: dst may alias anything, so the compiler would reload them.
  const __m128i* l = reinterpret_cast<const __m128i*>(t.lo);
  const __m128i* h = reinterpret_cast<const __m128i*>(t.hi);
  const __m128i l0 = _mm_load_si128(l), l1 = _mm_load_si128(l + 1), l2 = _mm_load_si128(l + 2),
                l3 = _mm_load_si128(l + 3);
  const __m128i h0 = _mm_load_si128(h), h1 = _mm_load_si128(h + 1), h2 = _mm_load_si128(h + 2),
                h3 = _mm_load_si128(h + 3);
  size_t i = 0;
  for (; i + 32 <= length; i += 32) {
    __m128i a = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i)), gather);
    __m128i b =
        _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i + 16)), gather);
    __m128i lo = _mm_unpacklo_epi64(a, b), hi = _mm_unpackhi_epi64(a, b);
    __m128i n0 = _mm_and_si128(lo, nibble), n1 = _mm_and_si128(_mm_srli_epi16(lo, 4), nibble);
    __m128i n2 = _mm_and_si128(hi, nibble), n3 = _mm_and_si128(_mm_srli_epi16(hi, 4), nibble);
    __m128i rl = _mm_xor_si128(_mm_xor_si128(_mm_shuffle_epi8(l0, n0), _mm_shuffle_epi8(l1, n1)),
                               _mm_xor_si128(_mm_shuffle_epi8(l2, n2), _mm_shuffle_epi8(l3, n3)));
    __m128i rh = _mm_xor_si128(_mm_xor_si128(_mm_shuffle_epi8(h0, n0), _mm_shuffle_epi8(h1, n1)),
                               _mm_xor_si128(_mm_shuffle_epi8(h2, n2), _mm_shuffle_epi8(h3, n3)));
    __m128i* d = reinterpret_cast<__m128i*>(dst + i);
    _mm_storeu_si128(d, _mm_xor_si128(_mm_loadu_si128(d), _mm_unpacklo_epi8(rl, rh)));
    _mm_storeu_si128(d + 1, _mm_xor_si128(_mm_loadu_si128(d + 1), _mm_unpackhi_epi8(rl, rh)));
  }
  return i;
}

__attribute__((target("avx2"))) size_t mul_add_avx2(unsigned char* dst, const unsigned char* src,
                                                    size_t length, const SplitTables& t) {
  const __m256i nibble = _mm256_set1_epi8(0x0F);
  const __m256i gather = _mm256_setr_epi8(0, 2, 4, 6, 8, 10, 12, 14, 1, 3, 5, 7, 9, 11, 13, 15, 0, 2,
                                          4, 6, 8, 10, 12, 14, 1, 3, 5, 7, 9, 11, 13, 15);
  const __m128i* l = reinterpret_cast<const __m128i*>(t.lo);
  const __m128i* h = reinterpret_cast<const __m128i*>(t.hi);
  const __m256i l0 = _mm256_broadcastsi128_si256(_mm_load_si128(l + 0));
  const __m256i l1 = _mm256_broadcastsi128_si256(_mm_load_si128(l + 1));
  const __m256i l2 = _mm256_broadcastsi128_si256(_mm_load_si128(l + 2));
  const __m256i l3 = _mm256_broadcastsi128_si256(_mm_load_si128(l + 3));
  const __m256i h0 = _mm256_broadcastsi128_si256(_mm_load_si128(h + 0));
  const __m256i h1 = _mm256_broadcastsi128_si256(_mm_load_si128(h + 1));
  const __m256i h2 = _mm256_broadcastsi128_si256(_mm_load_si128(h + 2));
  const __m256i h3 = _mm256_broadcastsi128_si256(_mm_load_si128(h + 3));
  size_t i = 0;
  for (; i + 64 <= length; i += 64) {
    // Per lane, the same steps as the SSSE3 path: the lanes of a hold words
    // 0-7 and 8-15, those of b words 16-23 and 24-31, and the results come
    // back in that same order.
    __m256i a = _mm256_shuffle_epi8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + i)), gather);
    __m256i b = _mm256_shuffle_epi8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + i + 32)), gather);
    __m256i lo = _mm256_unpacklo_epi64(a, b), hi = _mm256_unpackhi_epi64(a, b);
    __m256i n0 = _mm256_and_si256(lo, nibble), n1 = _mm256_and_si256(_mm256_srli_epi16(lo, 4), nibble);
    __m256i n2 = _mm256_and_si256(hi, nibble), n3 = _mm256_and_si256(_mm256_srli_epi16(hi, 4), nibble);
    __m256i rl = _mm256_xor_si256(_mm256_xor_si256(_mm256_shuffle_epi8(l0, n0), _mm256_shuffle_epi8(l1, n1)),
                                  _mm256_xor_si256(_mm256_shuffle_epi8(l2, n2), _mm256_shuffle_epi8(l3, n3)));
    __m256i rh = _mm256_xor_si256(_mm256_xor_si256(_mm256_shuffle_epi8(h0, n0), _mm256_shuffle_epi8(h1, n1)),
                                  _mm256_xor_si256(_mm256_shuffle_epi8(h2, n2), _mm256_shuffle_epi8(h3, n3)));
    __m256i* d = reinterpret_cast<__m256i*>(dst + i);
    _mm256_storeu_si256(d, _mm256_xor_si256(_mm256_loadu_si256(d), _mm256_unpacklo_epi8(rl, rh)));
    _mm256_storeu_si256(d + 1, _mm256_xor_si256(_mm256_loadu_si256(d + 1), _mm256_unpackhi_epi8(rl, rh)));
  }
  _mm256_zeroupper();
  return i + mul_add_ssse3(dst + i, src + i, length - i, t);
}

}  // namespace gf16_simd
}  // namespace par2

#else  // no x86: the plain path only

namespace par2 {
namespace gf16_simd {
bool cpu_has_ssse3() { return false; }
bool cpu_has_avx2() { return false; }
size_t mul_add_ssse3(unsigned char*, const unsigned char*, size_t, const SplitTables&) { return 0; }
size_t mul_add_avx2(unsigned char*, const unsigned char*, size_t, const SplitTables&) { return 0; }
}  // namespace gf16_simd
}  // namespace par2

#endif
