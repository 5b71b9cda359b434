// Times one split of velmora.exe for bench/bench_split.sh, measured inside
// Wine by one clock for both front ends:
//   bench_split_driver dialog SOURCE TARGET-DIR SECTION
//       starts velmora.exe, fills in its dialog from outside as a person would
//       (the UI tests' driver), presses Split and times until the result box
//       "Rudezo" appears; then dismisses it and closes the dialog
//   bench_split_driver command ARGUMENTS...
//       times velmora.exe started with ARGUMENTS (e.g. /split SOURCE DIR
//       SECTION) from its start to its end
//   bench_split_driver run PROGRAM ARGUMENTS...
//       the same for any program (a floor, a first piece), in the current
//       directory, so that every figure of the benchmark is taken alike
// Prints "seconds S" as its last line. Exit code 0 when the split completed
// ("Procedure comlete." in the box, exit code 0 from the program).
// VELMORA_BIN names the folder of velmora.exe.
#include <windows.h>

#include <cstdio>
#include <string>

#include "dialog_ids.h"
#include "dialog_ui_support.h"
#include "test_support.h"

namespace {

const char kComplete[] = "Procedure comlete.";
const DWORD kSplitTimeoutMs = 600000;

double now_seconds() {
  static LARGE_INTEGER frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER count;
  QueryPerformanceCounter(&count);
  return static_cast<double>(count.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// The result box of the process: looked for by class and caption every two
// milliseconds, one call to the system each time, where enumerating every
// window (the UI tests' way) would take a share of the processor from the
// split being timed.
HWND wait_for_result_box(DWORD process_id) {
  const DWORD start = GetTickCount();
  while (GetTickCount() - start < kSplitTimeoutMs) {
    for (HWND box = nullptr; (box = FindWindowExA(nullptr, box, "#32770", "Rudezo")) != nullptr;) {
      DWORD owner = 0;
      GetWindowThreadProcessId(box, &owner);
      if (owner == process_id && IsWindowVisible(box)) return box;
    }
    Sleep(2);
  }
  return nullptr;
}

int dialog_split(const std::string& source, const std::string& target, const std::string& section) {
  ui_driver::Velmora app;
  if (!app.dialog()) {
    std::fprintf(stderr, "velmora.exe showed no dialog\n");
    return 1;
  }
  app.set_text(IDC_FILE_EDIT, source);
  app.set_text(IDC_DIR_EDIT, target);
  app.set_text(IDC_SECTION_EDIT, section);
  app.set_checked(IDC_CHECKBOX1, false);  // no compression
  app.set_checked(IDC_CHECKBOX2, false);  // normal priority
  app.set_checked(IDC_CHECKBOX3, false);  // the size as given
  const double start = now_seconds();
  app.click(IDC_BUTTON1);
  HWND box = wait_for_result_box(app.process_id());
  const double elapsed = now_seconds() - start;
  if (!box) {
    std::fprintf(stderr, "no result box\n");
    return 1;
  }
  const std::string text = ui_driver::box_text(box);
  app.answer(box, IDOK);
  app.click(IDC_BUTTON2);  // Close
  app.wait_for_exit();
  if (text != kComplete) {
    std::fprintf(stderr, "result box: %s\n", text.c_str());
    return 1;
  }
  std::printf("seconds %.4f\n", elapsed);
  return 0;
}

int run_timed(const std::string& program, int argc, char** argv) {
  std::string arguments;
  for (int i = 0; i < argc; ++i) arguments += std::string(i ? " \"" : "\"") + argv[i] + "\"";
  char directory[MAX_PATH] = "";
  GetCurrentDirectoryA(sizeof directory, directory);
  DWORD code = 1;
  const double start = now_seconds();
  const bool ended = ui_driver::run_program(program, arguments, directory, &code);
  const double elapsed = now_seconds() - start;
  if (!ended || code != 0) {
    std::fprintf(stderr, "%s %s: exit code %lu\n", program.c_str(), arguments.c_str(), code);
    return 1;
  }
  std::printf("seconds %.4f\n", elapsed);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 5 && std::string(argv[1]) == "dialog") return dialog_split(argv[2], argv[3], argv[4]);
  if (argc >= 3 && std::string(argv[1]) == "command")
    return run_timed(testing_support::bin_dir() + "\\velmora.exe", argc - 2, argv + 2);
  if (argc >= 3 && std::string(argv[1]) == "run") return run_timed(argv[2], argc - 3, argv + 3);
  std::fprintf(stderr,
               "usage: bench_split_driver dialog SOURCE TARGET-DIR SECTION\n"
               "       bench_split_driver command ARGUMENTS...\n"
               "       bench_split_driver run PROGRAM ARGUMENTS...\n");
  return 2;
}
