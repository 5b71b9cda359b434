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
  // Table k holds byte n's CRC followed by k zero bytes: table 0 bit by bit,
  // each next one from the one before (one loop, for the joiner's size).
  uint32_t* t = reinterpret_cast<uint32_t*>(&table);
  for (uint32_t n = 0; n < 8 * 256; ++n) {
    uint32_t c = n;
    if (n < 256) {
      for (int k = 0; k < 8; ++k) c = (c & 1) ? kCrc32Polynomial ^ (c >> 1) : c >> 1;
    } else {
      c = (t[n - 256] >> 8) ^ t[t[n - 256] & 0xFF];
    }
    t[n] = c;
  }
}

// One table for the whole of a program that has a C++ runtime, made on
// first use (the first piece, which has none, makes its own on its stack).
inline const Crc32Table& shared_crc32_table() {
  static const Crc32Table* const table = [] {
    static Crc32Table made;
    crc32_init(made);
    return &made;
  }();
  return *table;
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
// a times b modulo the polynomial, both in the reflected bit order of the CRC
// (bit 31 is x^0).
constexpr uint32_t multiply_mod_p(uint32_t a, uint32_t b) {
  uint32_t product = 0;
  for (uint32_t m = 1u << 31; m != 0 && a != 0; m >>= 1) {
    if (a & m) {
      product ^= b;
      a ^= m;
    }
    b = (b & 1) ? (b >> 1) ^ kCrc32Polynomial : b >> 1;
  }
  return product;
}

// x^(2^k) modulo the polynomial for k = 0..31: x^(8n) is the product of the
// entries for the bits of 8n, so no table grows with the length.
struct PowersOfX {
  uint32_t x2k[32];
  constexpr PowersOfX() : x2k{} {
    uint32_t p = 1u << 30;  // x^1
    for (int k = 0; k < 32; ++k) {
      x2k[k] = p;
      p = multiply_mod_p(p, p);
    }
  }
};
inline constexpr PowersOfX kPowersOfX{};
}  // namespace crc32_detail

// The CRC of A followed by B, from crc(A), crc(B) and the length of B: crc(A)
// shifted over B's 8 * length_b zero bits (a product of powers of x, at most
// one multiplication per bit of the length), then B's CRC added.
inline uint32_t crc32_combine(uint32_t crc_a, uint32_t crc_b, uint64_t length_b) {
  using crc32_detail::kPowersOfX;
  using crc32_detail::multiply_mod_p;
  uint32_t shift = 1u << 31;  // x^0
  for (int k = 3; length_b != 0; length_b >>= 1, ++k)
    if (length_b & 1) shift = multiply_mod_p(kPowersOfX.x2k[k & 31], shift);
  return multiply_mod_p(shift, crc_a) ^ crc_b;
}

}  // namespace splitset

#endif  // VELMORA_CRC32_H
