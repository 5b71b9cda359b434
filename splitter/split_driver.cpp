// Runs one split without the dialog: split_driver SOURCE TARGET_DIR SECTION
// [c] [a] ("c" compresses, "a" sizes pieces by free space and answers the
// prompts Yes/OK). The joiner image is read from velmora.exe beside it. The
// exit code is split_file's result.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "split_engine.h"

namespace {
// Every disk asked for is there at once; nobody presses Break.
class AnswerYes : public velmora::SplitHooks {
 public:
  bool break_requested() override { return false; }
  bool ask_for_disk(velmora::DiskRequest) override { return true; }
  void progress(const velmora::SplitProgress&) override {}
};
}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: split_driver SOURCE TARGET_DIR SECTION [c] [a]\n");
    return 2;
  }
  bool compress = false, autodetect = false;
  for (int i = 4; i < argc; ++i) {
    if (std::strcmp(argv[i], "c") == 0) compress = true;
    if (std::strcmp(argv[i], "a") == 0) autodetect = true;
  }
  char own[MAX_PATH];
  DWORD n = GetModuleFileNameA(nullptr, own, sizeof own);
  std::string velmora(own, n);
  velmora = velmora.substr(0, velmora.rfind('\\') + 1) + "velmora.exe";
  velmora::set_joiner_image_source(velmora.c_str());
  SplitJob job{};
  std::strncpy(job.source_path, argv[1], sizeof job.source_path - 1);
  std::strncpy(job.target_directory, argv[2], sizeof job.target_directory - 1);
  job.section_size = std::atoi(argv[3]);
  job.compress = compress;
  job.autodetect = autodetect;
  AnswerYes hooks;
  return velmora::split_file(job, hooks);
}
