// Arithmetic in GF(2^16) as PAR 2.0 uses it: the polynomial 0x1100B with 2
// as generator, elements stored as 16-bit little-endian words.
//
// The region operation dst ^= factor * src is where recovery data is made and
// consumed. It has three code paths giving the same bytes: log/exp tables one
// word at a time (any processor), and split 4-bit tables looked up sixteen or
// thirty-two at a time with pshufb (SSSE3, AVX2). The fastest path the
// processor and its operating system support is chosen once, by cpuid; the
// vector paths are compiled with function target attributes, so a build for a
// plain i686 still runs on a processor without them.
#ifndef VELMORA_PAR2_GF16_H
#define VELMORA_PAR2_GF16_H

#include <stddef.h>
#include <stdint.h>

namespace par2 {

constexpr uint32_t kGf16Polynomial = 0x1100B;
// The multiplicative group's order: 2^l repeats with this period.
constexpr uint32_t kGf16Order = 65535;
// The most input slices one set may have: the number of usable constants.
constexpr uint32_t kMaxInputSlices = 32768;

uint16_t gf16_mul(uint16_t a, uint16_t b);
// a^e (0^0 is 1).
uint16_t gf16_pow(uint16_t a, uint32_t e);
// The inverse of a non-zero element.
uint16_t gf16_inverse(uint16_t a);
// 2^l.
uint16_t gf16_exp(uint32_t l);

// The constant of input slice `index` (counted from 0 in the set's order):
// 2^l for the index-th l >= 1 with l mod 3, 5, 17 and 257 all non-zero, so
// that every constant generates the whole group. `index` < kMaxInputSlices.
uint16_t par2_input_constant(uint32_t index);

enum class Gf16Path { plain, ssse3, avx2 };
const char* gf16_path_name(Gf16Path path);
bool gf16_path_available(Gf16Path path);
// The path gf16_mul_add takes: the fastest available one.
Gf16Path gf16_best_path();

// dst ^= src over `length` bytes (the product by 1; volume 0 is the XOR of
// the slices). Word by word, for a plain i686 build has no vector XOR.
void xor_region(void* dst, const void* src, size_t length);

// A factor with its split 4-bit tables made once: a caller that applies the
// same factor to many regions (a file's bytes passing in small pieces)
// prepares it once. lo[k][n] and hi[k][n] are the low and high bytes of
// value * (n << 4k).
struct Gf16Factor {
  uint16_t value;
  alignas(16) unsigned char lo[4][16];
  alignas(16) unsigned char hi[4][16];
};
Gf16Factor gf16_prepare(uint16_t value);

// dst[w] ^= factor * src[w] for each 16-bit little-endian word of the first
// `length` bytes (`length` even; any alignment; the regions must not
// overlap unless they are the same).
void gf16_mul_add(void* dst, const void* src, size_t length, uint16_t factor);
// The same through a chosen path (which must be available): tests and the
// benchmark compare the paths with it.
void gf16_mul_add_with(Gf16Path path, void* dst, const void* src, size_t length, uint16_t factor);
void gf16_mul_add(void* dst, const void* src, size_t length, const Gf16Factor& factor);
void gf16_mul_add_with(Gf16Path path, void* dst, const void* src, size_t length,
                       const Gf16Factor& factor);

}  // namespace par2

#endif
