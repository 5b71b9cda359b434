// CRC-32 (zip, SFV) for the split engine's copy buffer, the same function as
// splitset::crc32_update: with carry-less multiplication (PCLMULQDQ) where
// the processor has it, about ten times faster than the tables, and twice
// that again with two lanes to a 256-bit register where it also has
// VPCLMULQDQ and AVX2, so that the checksums cost the split next to nothing;
// with the set format's tables elsewhere.
#ifndef VELMORA_CRC32_FAST_H
#define VELMORA_CRC32_FAST_H

#include <cstddef>
#include <cstdint>

namespace velmora {

// The CRC of the bytes seen so far (`crc`, 0 at the start) followed by `data`.
uint32_t crc32_fast(uint32_t crc, const void* data, size_t length);

// Whether this processor takes the carry-less path, and its 256-bit form.
bool crc32_fast_has_clmul();
bool crc32_fast_has_wide();

// The carry-less path alone, for tests: `length` a multiple of 16, at least
// 64 (128 for `wide`); call only where crc32_fast_has_clmul() (and
// crc32_fast_has_wide() for `wide`).
uint32_t crc32_clmul(uint32_t crc, const void* data, size_t length, bool wide);

}  // namespace velmora

#endif  // VELMORA_CRC32_FAST_H
