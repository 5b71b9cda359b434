// MD5 and GF(2^16) arithmetic of the PAR2 component, built twice: for
// Windows (i686, run under Wine) and natively. The vector paths are checked
// against the plain one wherever the processor has them.
#include <gtest/gtest.h>

#include <stdio.h>
#include <string.h>

#include <random>
#include <string>
#include <vector>

#include "gf16.h"
#include "md5.h"

namespace {

std::string hex(const par2::Md5Digest& d) {
  std::string out;
  char two[3];
  for (unsigned char b : d.bytes) {
    snprintf(two, sizeof two, "%02x", b);
    out += two;
  }
  return out;
}

struct Md5Case {
  const char* label;
  std::string input;
  const char* digest;
};

void PrintTo(const Md5Case& c, std::ostream* os) { *os << c.label; }

class Md5Vectors : public testing::TestWithParam<Md5Case> {};

// Whole, in pieces of every size up to 65, and as a snapshot continued.
TEST_P(Md5Vectors, DigestMatchesTheReferenceHoweverTheBytesArrive) {
  const Md5Case& c = GetParam();
  EXPECT_EQ(hex(par2::Md5::of(c.input.data(), c.input.size())), c.digest);
  for (size_t piece = 1; piece <= 65; ++piece) {
    par2::Md5 md5;
    for (size_t at = 0; at < c.input.size(); at += piece)
      md5.update(c.input.data() + at, std::min(piece, c.input.size() - at));
    ASSERT_EQ(hex(md5.finish()), c.digest) << "pieces of " << piece;
  }
}

// The RFC 1321 suite, plus lengths around the 56- and 64-byte padding edges
// (reference digests from md5sum).
const Md5Case kMd5Cases[] = {
    {"empty", "", "d41d8cd98f00b204e9800998ecf8427e"},
    {"a", "a", "0cc175b9c0f1b6a831c399e269772661"},
    {"abc", "abc", "900150983cd24fb0d6963f7d28e17f72"},
    {"message_digest", "message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
    {"alphabet", "abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
    {"alphanumeric", "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
     "d174ab98d277d9f5a5611c2c9f419d9f"},
    {"digits_80", "12345678901234567890123456789012345678901234567890123456789012345678901234567890",
     "57edf4a22be3c955ac49da2e2107b67a"},
    {"zeros_55", std::string(55, '\0'), "c9ea3314b91c9fd4e38f9432064fd1f2"},
    {"zeros_56", std::string(56, '\0'), "e3c4dd21a9171fd39d208efa09bf7883"},
    {"zeros_64", std::string(64, '\0'), "3b5d3c7d207e37dceeedd301e35e2e58"},
};

INSTANTIATE_TEST_SUITE_P(Rfc1321, Md5Vectors, testing::ValuesIn(kMd5Cases),
                         [](const testing::TestParamInfo<Md5Case>& info) { return std::string(info.param.label); });

// The field: 2 generates it, the first input constants are those PAR 2.0
// fixes, and multiplication agrees with shift-and-reduce.
TEST(Gf16Field, ConstantsAndProductsFollowThePolynomial) {
  const uint16_t first[] = {2, 4, 16, 128, 256, 2048, 8192, 16384, 4107, 32856, 17132};
  for (uint32_t i = 0; i < sizeof first / sizeof first[0]; ++i) EXPECT_EQ(par2::par2_input_constant(i), first[i]) << i;
  std::mt19937 rng(7);
  for (int n = 0; n < 20000; ++n) {
    uint16_t a = static_cast<uint16_t>(rng()), b = static_cast<uint16_t>(rng());
    uint32_t product = 0, x = a;
    for (int bit = 0; bit < 16; ++bit) {
      if (b & (1u << bit)) product ^= x;
      x <<= 1;
      if (x & 0x10000) x ^= par2::kGf16Polynomial;
    }
    ASSERT_EQ(par2::gf16_mul(a, b), product) << a << " * " << b;
    if (a != 0) {
      ASSERT_EQ(par2::gf16_mul(a, par2::gf16_inverse(a)), 1) << a;
    }
  }
  EXPECT_EQ(par2::gf16_pow(3, 0), 1);
  EXPECT_EQ(par2::gf16_pow(2, 65535), 1);
  EXPECT_EQ(par2::gf16_pow(2, 16), 0x100B);
}

// Each vector path against the plain one: every even length up to 300,
// source and destination at every offset modulo 32, factors 0, 1, 2 and
// random ones. Lengths past 64 cover the AVX2 steps and the SSSE3 and plain
// tails behind them.
TEST(Gf16Paths, VectorPathsGiveThePlainPathsBytes) {
  const par2::Gf16Path paths[] = {par2::Gf16Path::ssse3, par2::Gf16Path::avx2};
  std::mt19937 rng(11);
  std::vector<unsigned char> src(400), dst(400), want(400);
  for (auto& b : src) b = static_cast<unsigned char>(rng());
  int compared = 0;
  for (par2::Gf16Path path : paths) {
    if (!par2::gf16_path_available(path)) {
      printf("%s: not available on this processor\n", par2::gf16_path_name(path));
      continue;
    }
    for (uint16_t factor : {uint16_t(0), uint16_t(1), uint16_t(2), uint16_t(0x8000), uint16_t(rng()), uint16_t(rng())}) {
      par2::Gf16Factor prepared = par2::gf16_prepare(factor);
      for (size_t length = 0; length <= 300; length += 2)
        for (size_t s = 0; s < 32; s += (length > 100 ? 3 : 1))
          for (size_t d = 0; d < 32; d += (length > 100 ? 5 : 1)) {
            for (auto& b : dst) b = static_cast<unsigned char>(rng());
            want = dst;
            par2::gf16_mul_add_with(par2::Gf16Path::plain, want.data() + d, src.data() + s, length, factor);
            par2::gf16_mul_add_with(path, dst.data() + d, src.data() + s, length, prepared);
            ASSERT_EQ(dst, want) << par2::gf16_path_name(path) << " factor " << factor << " length " << length
                                 << " offsets " << s << "," << d;
            ++compared;
          }
    }
  }
  // Either path missing is reported above; on this kind of machine both exist.
  if (par2::gf16_path_available(par2::Gf16Path::ssse3)) {
    EXPECT_GT(compared, 0);
  }
}

}  // namespace
