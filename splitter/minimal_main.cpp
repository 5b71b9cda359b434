// A minimal entry for velmora.exe while the dialog is not part of the build:
// velmora.exe SOURCE TARGET_DIR SECTION splits through the worker, shows the
// result and ends.
#include <windows.h>

#include <cstdlib>

#include "split_worker.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  if (__argc < 4) {
    MessageBoxA(nullptr, "velmora SOURCE TARGET_DIR SECTION", kMessageCaption, MB_OK);
    return 0;
  }
  HWND window = CreateWindowA("STATIC", "velmora", WS_OVERLAPPED, 0, 0, 100, 50, nullptr, nullptr,
                              nullptr, nullptr);
  HWND button = CreateWindowA("BUTTON", "Split", WS_CHILD, 0, 0, 60, 20, window, nullptr, nullptr,
                              nullptr);
  if (!start_split(window, button, __argv[1], __argv[2], std::atoi(__argv[3]), false, false, false))
    return 0;
  MSG message;
  while (!worker_finished.load()) {
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
  }
  DestroyWindow(window);
  return 0;
}
