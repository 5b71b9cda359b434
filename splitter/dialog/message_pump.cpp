#include "message_pump.h"

namespace velmora {

namespace {

// The wide forms throughout: the edits are wide windows, and a character
// typed into one must not pass through the ANSI code page on its way.
void dispatch(HWND dialog, MSG& message) {
  if (dialog && IsDialogMessageW(dialog, &message)) return;
  TranslateMessage(&message);
  DispatchMessageW(&message);
}

}  // namespace

void run_message_loop(HWND dialog) {
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) dispatch(dialog, message);
}

void wait_dispatching(HWND dialog, const std::function<bool()>& done) {
  bool quit = false;
  WPARAM exit_code = 0;
  while (!done()) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 1, QS_ALLINPUT);
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (message.message == WM_QUIT) {
        quit = true;
        exit_code = message.wParam;
        continue;
      }
      dispatch(dialog, message);
    }
  }
  if (quit) PostQuitMessage(static_cast<int>(exit_code));
}

}  // namespace velmora
