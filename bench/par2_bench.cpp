// Throughput of the PAR2 component's inner loops on one core: the GF(2^16)
// multiply-accumulate through each code path the processor has, MD5, and
// the writer's two passes over a set. Prints figures; not a test.
//   par2_bench [MiB]   (default 256)
#include <stdio.h>
#include <stdlib.h>

#include <chrono>
#include <random>
#include <string>
#include <vector>

#include "gf16.h"
#include "md5.h"
#include "par2.h"

namespace {

double seconds_since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The best of three runs, in GB/s of source bytes.
template <typename F>
double best_rate(double bytes, F work) {
  double best = 0;
  for (int run = 0; run < 3; ++run) {
    auto start = std::chrono::steady_clock::now();
    work();
    double s = seconds_since(start);
    if (s > 0 && bytes / s / 1e9 > best) best = bytes / s / 1e9;
  }
  return best;
}

}  // namespace

int main(int argc, char** argv) {
  const size_t mib = argc > 1 ? strtoul(argv[1], nullptr, 10) : 256;
  const size_t total = mib << 20;
  std::mt19937 rng(1);
  // A region that stays in the cache, and one of a piece's size (1,457,664
  // bytes, as the benchmark's split writes them), where memory is the limit.
  for (size_t region : {size_t(65536), size_t(1457664)}) {
    std::vector<unsigned char> src(region), dst(region);
    for (auto& b : src) b = static_cast<unsigned char>(rng());
    const par2::Gf16Factor factor = par2::gf16_prepare(0x1234);
    const size_t rounds = total / region;
    for (par2::Gf16Path path : {par2::Gf16Path::plain, par2::Gf16Path::ssse3, par2::Gf16Path::avx2}) {
      if (!par2::gf16_path_available(path)) {
        printf("gf16 multiply-accumulate %-6s %7zu-byte regions  not available\n", par2::gf16_path_name(path), region);
        continue;
      }
      size_t n = path == par2::Gf16Path::plain ? rounds / 8 + 1 : rounds;
      double rate = best_rate(double(n) * region, [&] {
        for (size_t i = 0; i < n; ++i) par2::gf16_mul_add_with(path, dst.data(), src.data(), region, factor);
      });
      printf("gf16 multiply-accumulate %-6s %7zu-byte regions  %6.2f GB/s%s\n", par2::gf16_path_name(path), region,
             rate, path == par2::gf16_best_path() ? "  (chosen)" : "");
    }
  }
  std::vector<unsigned char> big(64 << 20);
  for (auto& b : big) b = static_cast<unsigned char>(rng());
  double rate = best_rate(double(total), [&] {
    par2::Md5 md5;
    for (size_t done = 0; done < total; done += big.size()) md5.update(big.data(), big.size());
    volatile unsigned char sink = md5.finish().bytes[0];
    (void)sink;
  });
  printf("md5                                                 %6.2f GB/s\n", rate);

  // The writer over pieces of the split's size, 1 and 19 volumes: both
  // passes, in 64 KiB pieces as a copy buffer passes them.
  const size_t region = 1457664;
  const uint32_t pieces = static_cast<uint32_t>(total / region);
  std::vector<std::string> names;
  for (uint32_t i = 0; i < pieces; ++i) names.push_back("piece." + std::to_string(i));
  for (uint32_t volumes : {1u, 19u}) {
    auto start = std::chrono::steady_clock::now();
    par2::Writer w;
    w.start(names, volumes);
    for (int pass = 0; pass < (volumes > 1 ? 2 : 1); ++pass) {
      for (uint32_t i = 0; i < pieces; ++i)
        for (size_t at = 0; at < region; at += 65536) {
          size_t take = region - at < 65536 ? region - at : 65536;
          if (pass == 0) w.hash(i, big.data() + (i * region + at) % (big.size() - 65536), take);
          else w.encode(i, big.data() + (i * region + at) % (big.size() - 65536), take);
        }
      if (pass == 0) w.end_hashing();
      else w.end_encoding();
    }
    printf("writer, both passes, %2u volume(s), %zu MiB           %6.2f s\n", volumes, mib, seconds_since(start));
  }
  return 0;
}
