// Benchmark driver: builds one cabinet through vornex_add_files_one_step.
//   bench_cabinet_driver LIST_FILE CABINET
// LIST_FILE holds one source path per line. Prints the number of sources,
// the milliseconds the call took and the number of progress reports; exits 0
// when the call returned true.
#include <windows.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "vornex.h"

namespace {
unsigned long g_reports = 0;
void __stdcall count_report(double) { ++g_reports; }
}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: bench_cabinet_driver LIST_FILE CABINET\n");
    return 2;
  }
  std::ifstream in(argv[1]);
  std::string list, line;
  unsigned long sources = 0;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) continue;
    list += line;
    list += '\0';
    ++sources;
  }
  list += '\0';
  LARGE_INTEGER frequency, start, end;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&start);
  uint8_t ok = vornex_add_files_one_step(list.data(), argv[2], 0, &count_report, 1);
  QueryPerformanceCounter(&end);
  double ms = 1000.0 * static_cast<double>(end.QuadPart - start.QuadPart) / frequency.QuadPart;
  std::printf("sources %lu ms %.1f reports %lu result %d\n", sources, ms, g_reports, ok);
  return ok ? 0 : 1;
}
