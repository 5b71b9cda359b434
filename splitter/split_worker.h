// The split worker: the thread that runs one split for the dialog.
//
// How it works
// - The dialog's thread calls start_split once the source file is known to
//   exist. start_split copies the inputs into a new SplitJob, clears
//   break_requested, clears worker_finished, disables the Split button and
//   starts the worker thread with the job (the previous worker's handle is
//   closed first; the dialog never waits on a handle).
// - The worker lowers the process to the idle priority class when asked, runs
//   split_file, shows the result in a message box owned by the dialog
//   (caption "Rudezo"), frees the job, restores normal priority, enables Split
//   and, as its very last act, sets worker_finished to 1. After that store it
//   touches neither the dialog nor the job, so the dialog may close as soon as
//   it sees the flag.
// - Break (and closing the dialog) set break_requested to 1; the engine tests
//   it between blocks and pieces.
// - The dialog's close handler waits for worker_finished while it keeps
//   dispatching its messages, because the worker's result box is owned by the
//   dialog and needs the dialog's thread to answer it.
#ifndef VELMORA_SPLIT_WORKER_H
#define VELMORA_SPLIT_WORKER_H

#include <windows.h>

#include <atomic>
#include <cstdint>

// One split's inputs, made by the dialog's thread and owned (and freed) by
// the worker.
struct SplitJob {
  char source_path[260];
  char target_directory[260];
  int32_t section_size;
  uint8_t compress;
  uint8_t idle_priority;
  uint8_t autodetect;
};

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
                 bool compress, bool idle_priority, bool autodetect);

// The message the worker shows for a result code of split_file, all with the
// caption "Rudezo" and an OK button. text is nullptr for codes that have no
// message (nothing is shown for them).
struct ResultMessage {
  const char* text;
  UINT icon;  // MB_ICONQUESTION, MB_ICONERROR or MB_ICONWARNING
};
ResultMessage result_message(int result);

// What the worker shows, followed by the exception's own text, when the
// split ends in an exception instead of a result.
inline constexpr const char kInternalErrorText[] = "The split stopped on an internal error: ";

// The caption of every box the splitter's worker and engine show.
inline constexpr const char kMessageCaption[] = "Rudezo";

#endif  // VELMORA_SPLIT_WORKER_H
