// GF(2^16) tables and the plain region path; the vector paths live in
// gf16_simd.cpp.
#include "gf16.h"

#include <string.h>

#include "gf16_simd.h"

namespace par2 {
namespace {

struct Tables {
  uint16_t log[65536];
  uint16_t exp[2 * kGf16Order];  // doubled, so log a + log b needs no modulo
  uint16_t constants[kMaxInputSlices];

  Tables() {
    uint32_t x = 1;
    for (uint32_t l = 0; l < kGf16Order; ++l) {
      exp[l] = exp[l + kGf16Order] = static_cast<uint16_t>(x);
      log[x] = static_cast<uint16_t>(l);
      x <<= 1;
      if (x & 0x10000) x ^= kGf16Polynomial;
    }
    log[0] = 0;  // never read: zero has no logarithm
    uint32_t n = 0;
    for (uint32_t l = 1; n < kMaxInputSlices; ++l)
      if (l % 3 != 0 && l % 5 != 0 && l % 17 != 0 && l % 257 != 0) constants[n++] = exp[l];
  }
};

const Tables& tables() {
  static const Tables* t = new Tables;  // 448 KiB: built on first use, kept
  return *t;
}

void mul_add_plain(unsigned char* dst, const unsigned char* src, size_t length, uint16_t factor) {
  const Tables& t = tables();
  const uint32_t lf = t.log[factor];
  for (size_t i = 0; i + 1 < length; i += 2) {
    uint32_t s = src[i] | static_cast<uint32_t>(src[i + 1]) << 8;
    if (s == 0) continue;
    uint32_t p = t.exp[t.log[s] + lf];
    dst[i] ^= static_cast<unsigned char>(p);
    dst[i + 1] ^= static_cast<unsigned char>(p >> 8);
  }
}

}  // namespace

uint16_t gf16_mul(uint16_t a, uint16_t b) {
  if (a == 0 || b == 0) return 0;
  const Tables& t = tables();
  return t.exp[t.log[a] + t.log[b]];
}

uint16_t gf16_pow(uint16_t a, uint32_t e) {
  if (e == 0) return 1;
  if (a == 0) return 0;
  const Tables& t = tables();
  return t.exp[static_cast<uint32_t>((static_cast<uint64_t>(t.log[a]) * e) % kGf16Order)];
}

uint16_t gf16_inverse(uint16_t a) {
  const Tables& t = tables();
  return t.exp[(kGf16Order - t.log[a]) % kGf16Order];
}

uint16_t gf16_exp(uint32_t l) { return tables().exp[l % kGf16Order]; }

uint16_t par2_input_constant(uint32_t index) { return tables().constants[index]; }

const char* gf16_path_name(Gf16Path path) {
  switch (path) {
    case Gf16Path::ssse3: return "ssse3";
    case Gf16Path::avx2: return "avx2";
    default: return "plain";
  }
}

bool gf16_path_available(Gf16Path path) {
  switch (path) {
    case Gf16Path::ssse3: return gf16_simd::cpu_has_ssse3();
    case Gf16Path::avx2: return gf16_simd::cpu_has_avx2();
    default: return true;
  }
}

Gf16Path gf16_best_path() {
  static const Gf16Path best = gf16_path_available(Gf16Path::avx2)    ? Gf16Path::avx2
                               : gf16_path_available(Gf16Path::ssse3) ? Gf16Path::ssse3
                                                                      : Gf16Path::plain;
  return best;
}

void xor_region(void* dst, const void* src, size_t length) {
  unsigned char* d = static_cast<unsigned char*>(dst);
  const unsigned char* s = static_cast<const unsigned char*>(src);
  size_t i = 0;
  for (; i + 8 <= length; i += 8) {
    uint32_t a[2], b[2];
    memcpy(a, d + i, 8);
    memcpy(b, s + i, 8);
    a[0] ^= b[0];
    a[1] ^= b[1];
    memcpy(d + i, a, 8);
  }
  for (; i < length; ++i) d[i] ^= s[i];
}

Gf16Factor gf16_prepare(uint16_t value) {
  Gf16Factor f;
  f.value = value;
  for (uint32_t k = 0; k < 4; ++k)
    for (uint32_t n = 0; n < 16; ++n) {
      uint16_t p = gf16_mul(value, static_cast<uint16_t>(n << (4 * k)));
      f.lo[k][n] = static_cast<unsigned char>(p);
      f.hi[k][n] = static_cast<unsigned char>(p >> 8);
    }
  return f;
}

void gf16_mul_add_with(Gf16Path path, void* dst, const void* src, size_t length,
                       const Gf16Factor& factor) {
  unsigned char* d = static_cast<unsigned char*>(dst);
  const unsigned char* s = static_cast<const unsigned char*>(src);
  if (factor.value == 0 || length < 2) return;
  if (factor.value == 1) {
    xor_region(d, s, length & ~static_cast<size_t>(1));
    return;
  }
  size_t done = 0;
  if (path == Gf16Path::avx2) done = gf16_simd::mul_add_avx2(d, s, length, factor);
  else if (path == Gf16Path::ssse3) done = gf16_simd::mul_add_ssse3(d, s, length, factor);
  mul_add_plain(d + done, s + done, length - done, factor.value);
}

void gf16_mul_add(void* dst, const void* src, size_t length, const Gf16Factor& factor) {
  gf16_mul_add_with(gf16_best_path(), dst, src, length, factor);
}

void gf16_mul_add_with(Gf16Path path, void* dst, const void* src, size_t length, uint16_t factor) {
  if (path == Gf16Path::plain || length < 32 || factor < 2) {
    Gf16Factor bare;
    bare.value = factor;
    gf16_mul_add_with(Gf16Path::plain, dst, src, length, bare);
    return;
  }
  gf16_mul_add_with(path, dst, src, length, gf16_prepare(factor));
}

void gf16_mul_add(void* dst, const void* src, size_t length, uint16_t factor) {
  gf16_mul_add_with(gf16_best_path(), dst, src, length, factor);
}

}  // namespace par2
