// Test seams of the split worker.
#ifndef VELMORA_SPLIT_WORKER_SEAMS_H
#define VELMORA_SPLIT_WORKER_SEAMS_H

#include <windows.h>

namespace velmora {

// Starts the worker thread in place of CreateThread (nullptr: CreateThread
// again); returns the thread handle or null when it cannot start.
using ThreadStarter = HANDLE (*)(LPTHREAD_START_ROUTINE routine, void* argument);
void set_thread_starter(ThreadStarter starter);

}  // namespace velmora

#endif  // VELMORA_SPLIT_WORKER_SEAMS_H
