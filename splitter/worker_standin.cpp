// Temporary stand-in for the split worker (replaced by the real one).
#include "split_worker.h"

std::atomic<uint8_t> break_requested{0};
std::atomic<uint8_t> worker_finished{1};

namespace {
struct Args { HWND dialog; HWND button; };
DWORD WINAPI run(void* p) {
  Args a = *static_cast<Args*>(p);
  delete static_cast<Args*>(p);
  for (int i = 0; i < 300 && !break_requested; ++i) Sleep(10);
  MessageBoxA(a.dialog, "Procedure comlete.", "Rudezo", MB_OK | MB_ICONQUESTION);
  EnableWindow(a.button, TRUE);
  worker_finished = 1;
  return 0;
}
}  // namespace

bool start_split(HWND dialog, HWND split_button, const char*, const char*, int32_t, bool, bool, bool) {
  break_requested = 0;
  worker_finished = 0;
  EnableWindow(split_button, FALSE);
  HANDLE t = CreateThread(nullptr, 0, run, new Args{dialog, split_button}, 0, nullptr);
  if (t) CloseHandle(t);
  return t != nullptr;
}
