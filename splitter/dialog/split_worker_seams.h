// Test seams of the split worker.
#ifndef VELMORA_SPLIT_WORKER_SEAMS_H
#define VELMORA_SPLIT_WORKER_SEAMS_H

#include <windows.h>

#include "split_job.h"
#include "split_result.h"

namespace velmora {

// Starts the worker thread in place of CreateThread (nullptr: CreateThread
// again); returns the thread handle or null when it cannot start.
using ThreadStarter = HANDLE (*)(LPTHREAD_START_ROUTINE routine, void* argument);
void set_thread_starter(ThreadStarter starter);

// Runs the split in place of split_file (nullptr: split_file again).
using SplitRunner = SplitResult (*)(SplitJob& job, SplitHooks& hooks);
void set_split_runner(SplitRunner runner);

}  // namespace velmora

#endif  // VELMORA_SPLIT_WORKER_SEAMS_H
