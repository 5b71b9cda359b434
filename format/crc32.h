// CRC-32 with the polynomial of zip and SFV (reflected 0xEDB88320), as zlib's
// crc32() computes it: start from 0, feed the bytes in any number of calls.
//
// The update runs eight bytes a step through eight tables (slice-by-8), fast
// enough to ride along with a 2048-byte copy. crc32_combine gives the CRC of
// two pieces of data joined from the CRCs of the pieces and the second one's
// length, so a writer never has to read its own output again.
//
// Header-only and free of any C runtime call: the joiner, which has none,
// uses it as well as the splitter and velmora-join.
#ifndef VELMORA_CRC32_H
#define VELMORA_CRC32_H

#include <stddef.h>
#include <stdint.h>

namespace splitset {

constexpr uint32_t kCrc32Polynomial = 0xEDB88320u;

// 8 KiB: keep it in static or heap storage, not on a small stack.
struct Crc32Table {
  uint32_t t[8][256];
};

inline void crc32_init(Crc32Table& table) {
  for (uint32_t n = 0; n < 256; ++n) {
    uint32_t c = n;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? kCrc32Polynomial ^ (c >> 1) : c >> 1;
    table.t[0][n] = c;
  }
  for (uint32_t n = 0; n < 256; ++n)
    for (int k = 1; k < 8; ++k)
      table.t[k][n] = (table.t[k - 1][n] >> 8) ^ table.t[0][table.t[k - 1][n] & 0xFF];
}

inline uint32_t crc32_read_le(const unsigned char* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

// The CRC of the bytes seen so far (`crc`, 0 at the start) followed by `data`.
inline uint32_t crc32_update(const Crc32Table& table, uint32_t crc, const void* data,
                             size_t length) {
  const unsigned char* p = static_cast<const unsigned char*>(data);
  uint32_t c = ~crc;
  for (; length >= 8; length -= 8, p += 8) {
    uint32_t one = crc32_read_le(p) ^ c;
    uint32_t two = crc32_read_le(p + 4);
    c = table.t[7][one & 0xFF] ^ table.t[6][(one >> 8) & 0xFF] ^ table.t[5][(one >> 16) & 0xFF] ^
        table.t[4][one >> 24] ^ table.t[3][two & 0xFF] ^ table.t[2][(two >> 8) & 0xFF] ^
        table.t[1][(two >> 16) & 0xFF] ^ table.t[0][two >> 24];
  }
  for (; length > 0; --length, ++p) c = table.t[0][(c ^ *p) & 0xFF] ^ (c >> 8);
  return ~c;
}

namespace crc32_detail {
inline uint32_t gf2_times(const uint32_t* matrix, uint32_t vector) {
  uint32_t sum = 0;
  for (int i = 0; vector != 0; ++i, vector >>= 1)
    if (vector & 1) sum ^= matrix[i];
  return sum;
}
inline void gf2_square(uint32_t* square, const uint32_t* matrix) {
  for (int n = 0; n < 32; ++n) square[n] = gf2_times(matrix, matrix[n]);
}
}  // namespace crc32_detail

// The CRC of A followed by B, from crc(A), crc(B) and the length of B.
inline uint32_t crc32_combine(uint32_t crc_a, uint32_t crc_b, uint64_t length_b) {
  using crc32_detail::gf2_square;
  using crc32_detail::gf2_times;
  if (length_b == 0) return crc_a;
  uint32_t even[32], odd[32];
  // odd: the operator for one zero bit; even: for two, then squared on up.
  odd[0] = kCrc32Polynomial;
  for (int n = 1; n < 32; ++n) odd[n] = 1u << (n - 1);
  gf2_square(even, odd);
  gf2_square(odd, even);
  // Apply length_b zero bytes to crc_a, one bit of the length at a time.
  for (;;) {
    gf2_square(even, odd);
    if (length_b & 1) crc_a = gf2_times(even, crc_a);
    length_b >>= 1;
    if (length_b == 0) break;
    gf2_square(odd, even);
    if (length_b & 1) crc_a = gf2_times(odd, crc_a);
    length_b >>= 1;
    if (length_b == 0) break;
  }
  return crc_a ^ crc_b;
}

}  // namespace splitset

#endif  // VELMORA_CRC32_H
