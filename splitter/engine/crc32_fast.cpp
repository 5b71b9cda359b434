#include "crc32_fast.h"

#include <cpuid.h>
#include <emmintrin.h>
#include <smmintrin.h>
#include <wmmintrin.h>
#include <immintrin.h>

#include "crc32.h"

namespace velmora {

namespace {

bool detect_clmul() {
  unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
  if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx)) return false;
  return (ecx & bit_PCLMUL) && (ecx & bit_SSE4_1);
}

// Folding constants of the reflected polynomial 0xEDB88320 (x^n mod P for
// the fold distances of 512 and 128 bits, the 64-to-32-bit step, and the
// Barrett reduction's P' and u'), as in Intel's paper on CRC computation
// with PCLMULQDQ.
alignas(16) const uint64_t kFold512[2] = {0x0154442bd4ull, 0x01c6e41596ull};
alignas(16) const uint64_t kFold128[2] = {0x01751997d0ull, 0x00ccaa009eull};
alignas(16) const uint64_t kFold64[2] = {0x0163cd6124ull, 0};
alignas(16) const uint64_t kBarrett[2] = {0x01db710641ull, 0x01f7011641ull};

#define VELMORA_CLMUL __attribute__((target("pclmul,sse4.1")))

VELMORA_CLMUL inline __m128i load(const unsigned char* at) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
}

// x folded forward by the distance that k stands for, onto next.
VELMORA_CLMUL inline __m128i fold(__m128i x, __m128i k, __m128i next) {
  __m128i low = _mm_clmulepi64_si128(x, k, 0x00);
  __m128i high = _mm_clmulepi64_si128(x, k, 0x11);
  return _mm_xor_si128(_mm_xor_si128(high, next), low);
}

// Four 128-bit lanes (the last 64 bytes folded so far) carried on over the
// rest, `length` bytes (a multiple of 16), to the raw CRC register.
VELMORA_CLMUL inline uint32_t fold_on(__m128i x1, __m128i x2, __m128i x3, __m128i x4,
                                      const unsigned char* p, size_t length) {
  __m128i k = _mm_load_si128(reinterpret_cast<const __m128i*>(kFold512));
  // Four lanes folded forward 512 bits at a time.
  while (length >= 64) {
    x1 = fold(x1, k, load(p));
    x2 = fold(x2, k, load(p + 16));
    x3 = fold(x3, k, load(p + 32));
    x4 = fold(x4, k, load(p + 48));
    p += 64;
    length -= 64;
  }
  // The four lanes into one, then the remaining 16-byte blocks.
  k = _mm_load_si128(reinterpret_cast<const __m128i*>(kFold128));
  x1 = fold(x1, k, x2);
  x1 = fold(x1, k, x3);
  x1 = fold(x1, k, x4);
  while (length >= 16) {
    x1 = fold(x1, k, load(p));
    p += 16;
    length -= 16;
  }
  // 128 bits to 64, to 32, and the Barrett reduction.
  const __m128i low32 = _mm_setr_epi32(~0, 0, ~0, 0);
  x2 = _mm_clmulepi64_si128(x1, k, 0x10);
  x1 = _mm_xor_si128(_mm_srli_si128(x1, 8), x2);
  k = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(kFold64));
  x2 = _mm_srli_si128(x1, 4);
  x1 = _mm_xor_si128(_mm_clmulepi64_si128(_mm_and_si128(x1, low32), k, 0x00), x2);
  k = _mm_load_si128(reinterpret_cast<const __m128i*>(kBarrett));
  x2 = _mm_clmulepi64_si128(_mm_and_si128(x1, low32), k, 0x10);
  x2 = _mm_clmulepi64_si128(_mm_and_si128(x2, low32), k, 0x00);
  x1 = _mm_xor_si128(x1, x2);
  return static_cast<uint32_t>(_mm_extract_epi32(x1, 1));
}

// The raw (not inverted) CRC register over `length` bytes, a multiple of 16
// and at least 64. The stack is realigned: 32-bit Windows keeps it at 4.
VELMORA_CLMUL __attribute__((force_align_arg_pointer)) uint32_t
clmul_raw(uint32_t state, const unsigned char* p, size_t length) {
  __m128i x1 = _mm_xor_si128(load(p), _mm_cvtsi32_si128(static_cast<int>(state)));
  return fold_on(x1, load(p + 16), load(p + 32), load(p + 48), p + 64, length - 64);
}

// Whether the processor folds two lanes to a 256-bit register (VPCLMULQDQ,
// AVX2) and the system keeps those registers across a thread switch.
bool detect_wide() {
  unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
  if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx)) return false;
  if (!(ecx & bit_OSXSAVE) || !(ecx & bit_AVX)) return false;
  unsigned xcr0_low = 0, xcr0_high = 0;
  __asm__("xgetbv" : "=a"(xcr0_low), "=d"(xcr0_high) : "c"(0));
  if ((xcr0_low & 6) != 6) return false;  // the system keeps the 256-bit registers
  if (!__get_cpuid_count(7, 0, &eax, &ebx, &ecx, &edx)) return false;
  return (ebx & bit_AVX2) && (ecx & bit_VPCLMULQDQ);
}

// x^(1024+32) and x^(1024-32) mod P, reflected: the fold across 1024 bits.
const uint64_t kFold1024[2] = {0x01e88ef372ull, 0x014a7fe880ull};

#define VELMORA_WIDE __attribute__((target("avx2,vpclmulqdq,pclmul,sse4.1")))

VELMORA_WIDE inline __m256i load2(const unsigned char* at) {
  return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at));
}

VELMORA_WIDE inline __m256i fold2(__m256i x, __m256i k, __m256i next) {
  __m256i low = _mm256_clmulepi64_epi128(x, k, 0x00);
  __m256i high = _mm256_clmulepi64_epi128(x, k, 0x11);
  return _mm256_xor_si256(_mm256_xor_si256(high, next), low);
}

// As clmul_raw with two lanes to a register, 128 bytes a step: `length` a
// multiple of 16 and at least 128. The last 128 bytes' eight lanes become
// the four of the 128-bit path, which carries on from there.
VELMORA_WIDE __attribute__((force_align_arg_pointer)) uint32_t
wide_raw(uint32_t state, const unsigned char* p, size_t length) {
  __m256i y1 = _mm256_xor_si256(load2(p),
                                _mm256_zextsi128_si256(_mm_cvtsi32_si128(static_cast<int>(state))));
  __m256i y2 = load2(p + 32), y3 = load2(p + 64), y4 = load2(p + 96);
  __m256i k =
      _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(kFold1024)));
  p += 128;
  length -= 128;
  while (length >= 128) {
    y1 = fold2(y1, k, load2(p));
    y2 = fold2(y2, k, load2(p + 32));
    y3 = fold2(y3, k, load2(p + 64));
    y4 = fold2(y4, k, load2(p + 96));
    p += 128;
    length -= 128;
  }
  // The first 64 bytes of the window folded onto the last: four lanes.
  k = _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(kFold512)));
  y3 = fold2(y1, k, y3);
  y4 = fold2(y2, k, y4);
  return fold_on(_mm256_castsi256_si128(y3), _mm256_extracti128_si256(y3, 1),
                 _mm256_castsi256_si128(y4), _mm256_extracti128_si256(y4, 1), p, length);
}

const bool g_has_clmul = detect_clmul();
const bool g_has_wide = g_has_clmul && detect_wide();

}  // namespace

bool crc32_fast_has_clmul() { return g_has_clmul; }

bool crc32_fast_has_wide() { return g_has_wide; }

uint32_t crc32_clmul(uint32_t crc, const void* data, size_t length, bool wide) {
  const unsigned char* p = static_cast<const unsigned char*>(data);
  return ~(wide ? wide_raw(~crc, p, length) : clmul_raw(~crc, p, length));
}

uint32_t crc32_fast(uint32_t crc, const void* data, size_t length) {
  const unsigned char* p = static_cast<const unsigned char*>(data);
  if (g_has_clmul && length >= 64) {
    size_t whole = length & ~static_cast<size_t>(15);
    crc = crc32_clmul(crc, p, whole, g_has_wide && whole >= 128);
    p += whole;
    length -= whole;
  }
  return splitset::crc32_update(splitset::shared_crc32_table(), crc, p, length);
}

}  // namespace velmora
