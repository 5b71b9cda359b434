// The split worker: the thread that runs one split for the dialog.
//
// - The dialog's thread calls start_split once the source file is known to
//   exist. start_split copies the inputs into a new SplitJob, clears
//   break_requested, clears worker_finished, disables the Split button and
//   starts the worker thread with the job (the previous worker's handle is
//   closed first; the dialog never waits on a handle).
// - The worker lowers the process to the idle priority class when asked, runs
//   split_file (on a thread of its own, waited for, while the worker readies
//   its windowing for the box), shows the result in a message box owned by
//   the dialog (caption "Rudezo"), frees the job, restores normal priority, enables Split
//   and, as its very last act, sets worker_finished to 1. After that store it
//   touches neither the dialog nor the job, so the dialog may close as soon as
//   it sees the flag.
// - Break (and closing the dialog) set break_requested to 1; the engine asks
//   the worker's hooks between blocks and pieces, and they read it.
// - The engine's progress reaches the dialog through one shared slot: the
//   worker stores the latest state (the stage, the share in tenths of a
//   percent, the piece) whenever what the dialog shows would change, and
//   posts kProgressMessage unless one is still on its way, within one stage
//   at most every 50 ms (and before a disk prompt); the dialog takes the
//   latest state when the message arrives. A slow dialog thus sees fewer
//   states, never an old one after a newer one. Before the result box
//   appears the worker stores kProgressReset and sends the message, waiting
//   until the dialog has handled it. The disk prompts of automatic size are message boxes shown
//   by the worker, owned by the application.
// - The dialog's close handler waits for worker_finished while it keeps
//   dispatching its messages, because the worker's result box is owned by the
//   dialog and needs the dialog's thread to answer it.
#ifndef VELMORA_SPLIT_WORKER_H
#define VELMORA_SPLIT_WORKER_H

#include <windows.h>

#include <atomic>
#include <cstdint>

#include "result_messages.h"
#include "split_job.h"

// Set to 1 by the dialog (Break, close); cleared by start_split; read by the
// split engine.
extern std::atomic<uint8_t> break_requested;  // starts 0
// 0 while a worker runs; the worker sets it to 1 as its last act.
extern std::atomic<uint8_t> worker_finished;  // starts 1

// On the dialog's thread, after the source file was found to exist: copies
// the inputs into a new SplitJob (strings cut to 259 characters),
// break_requested := 0, worker_finished := 0, disables split_button, closes a
// previous worker handle, starts the worker. If the thread cannot be started:
// frees the job, restores worker_finished := 1, re-enables split_button and
// returns false (the caller may tell the user).
bool start_split(HWND dialog, HWND split_button, const char* source_path,
                 const char* target_directory, int32_t section_size,
                 bool compress, bool idle_priority, bool autodetect,
                 uint32_t recovery = 0, bool recovery_percent = false);

// Progress, from the worker to the dialog (see above).
constexpr UINT kProgressMessage = WM_APP + 1;
enum ProgressStage : uint32_t {
  kProgressCompressing = 0,
  kProgressWriting = 1,
  kProgressReset = 2,
  kProgressRecovery = 3,  // the recovery volumes are made and written
};
struct ProgressState {
  ProgressStage stage;
  uint32_t permille;  // the share written, 0..1000
  uint32_t piece;     // the piece being written, 1: the first piece;
                      // kProgressRecovery: the number of recovery volumes
};
// On the dialog's thread, when kProgressMessage arrives: the latest state.
ProgressState take_progress();

// A test of the progress from outside holds the worker at chosen blocks
// through this environment variable, "NAME:BLOCK,BLOCK,...": when the split
// has copied one of those numbers of blocks, the worker sends that progress
// to the dialog, sets the event "NAME.held" and waits (at most a minute) for
// the event "NAME.go". Without the variable nothing waits.
inline constexpr const char kProgressHoldVariable[] = "VELMORA_PROGRESS_HOLD";

#endif  // VELMORA_SPLIT_WORKER_H
