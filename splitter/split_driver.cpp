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
int answer_yes(const char*, UINT type) { return (type & MB_YESNO) ? IDYES : IDOK; }
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
  velmora::set_prompt_function(answer_yes);
  char source[260] = {};
  std::strncpy(source, argv[1], sizeof source - 1);
  return velmora::split_file(source, argv[2], std::atoi(argv[3]), compress, autodetect);
}
