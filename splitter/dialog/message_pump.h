// The dialog thread's message handling: the application's message loop, and
// waiting for a condition while the thread keeps answering its messages.
#ifndef VELMORA_MESSAGE_PUMP_H
#define VELMORA_MESSAGE_PUMP_H

#include <windows.h>

#include <functional>

namespace velmora {

// Runs until WM_QUIT; keyboard navigation of `dialog` through IsDialogMessage.
void run_message_loop(HWND dialog);

// Returns once `done` is true, testing it about every millisecond, and
// dispatches every message the thread receives meanwhile, sent ones
// included (another thread's window owned by ours needs them answered). A
// WM_QUIT met on the way is posted again before returning.
void wait_dispatching(HWND dialog, const std::function<bool()>& done);

}  // namespace velmora

#endif  // VELMORA_MESSAGE_PUMP_H
