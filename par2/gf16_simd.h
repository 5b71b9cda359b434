// The vector paths of the GF(2^16) region operation (internal to par2/).
#ifndef VELMORA_PAR2_GF16_SIMD_H
#define VELMORA_PAR2_GF16_SIMD_H

#include <stddef.h>
#include <stdint.h>

#include "gf16.h"

namespace par2 {
namespace gf16_simd {

using SplitTables = Gf16Factor;

bool cpu_has_ssse3();
bool cpu_has_avx2();

// Each handles the longest prefix of whole vector steps and returns its
// length in bytes; the caller does the rest on the plain path.
size_t mul_add_ssse3(unsigned char* dst, const unsigned char* src, size_t length,
                     const SplitTables& t);
size_t mul_add_avx2(unsigned char* dst, const unsigned char* src, size_t length,
                    const SplitTables& t);

}  // namespace gf16_simd
}  // namespace par2

#endif
