// The library's frame: the re-entrant library lock, the handle registries'
// type, the error log and the two path routines shared by builder and reader.
#ifndef VORNEX_LIBRARY_FRAME_H
#define VORNEX_LIBRARY_FRAME_H

#include <windows.h>

#include <cstdint>

#include "owned.h"

namespace vornex {

// One lock for the whole library. It is a critical section, so the thread
// that holds it may take it again (callbacks run inside exports and call back
// into the library) and must release it as often as it took it.
class LibraryLock {
 public:
  LibraryLock() { InitializeCriticalSection(&section_); }
  ~LibraryLock() { DeleteCriticalSection(&section_); }
  LibraryLock(const LibraryLock&) = delete;
  LibraryLock& operator=(const LibraryLock&) = delete;
  void take() { EnterCriticalSection(&section_); }
  void release() { LeaveCriticalSection(&section_); }

 private:
  CRITICAL_SECTION section_;
};

LibraryLock& library_lock();

// Holds the library lock for one scope.
class LockGuard {
 public:
  LockGuard() { library_lock().take(); }
  ~LockGuard() { library_lock().release(); }
  LockGuard(const LockGuard&) = delete;
  LockGuard& operator=(const LockGuard&) = delete;
};

// Maps the handles callers hold to the library's objects and owns them: the
// opening export hands its object over, the closing export takes it back out.
// The objects are linked through their own members `next` and `handle`, so
// registering never allocates and cannot fail.
//
// A handle is the engine's context value, and the engine hands a value out
// again only after the context it named was destroyed. So an entry met under
// a handle that is being registered is stale: it is replaced, and its object
// is released without any engine call (its context is gone). The result
// tells the caller that this happened.
template <typename T>
class HandleRegistry {
 public:
  bool register_handle(uint32_t handle, T* object) {
    T* stale = take(handle);
    destroy(stale);
    object->handle = handle;
    entries_.push_back(object);
    return stale != nullptr;
  }
  T* find(uint32_t handle) const {
    for (T* entry = entries_.first(); entry; entry = entry->next)
      if (entry->handle == handle) return entry;
    return nullptr;
  }
  // Removes the entry and hands its object to the caller (null when absent).
  T* take(uint32_t handle) {
    T* entry = find(handle);
    return entry ? entries_.unlink(entry) : nullptr;
  }

 private:
  Chain<T> entries_;
};

// Sets `line` to the log line for `message` stamped with `time`:
// "DD.MM.YYYY hh:mm:ss " and the message as it stands (never used as a
// format), without the newline. False when no memory was left for it.
bool format_log_line(const SYSTEMTIME& time, const char* message, Text& line);

// Appends `value` in decimal, at least `width` digits (zeros in front).
bool append_decimal(Text& text, uint32_t value, int width = 1);

// Appends one line to "_caberrors.log" in the current directory (text mode,
// so the line ends in CR LF). A log that cannot be opened loses the line.
void write_error_log(const char* message);

// Logs the system's message text for `code`; nothing for 0 or for a code the
// system has no text for.
void write_system_error(DWORD code);

// Logs `prefix` followed by `path` ("Cant open file - <path>").
void write_error_log_path(const char* prefix, const char* path);

// Characters up to and including the last backslash; 0 when there is none.
uint32_t dir_part_length(const char* path);

// winsup::reserve_temp_file with four digits, for reading and writing, its
// path kept in `path`; INVALID_HANDLE_VALUE also when no memory was left
// for the name.
HANDLE create_temp_file_in(const char* dir, const char* prefix, Text& path);

}  // namespace vornex

#endif  // VORNEX_LIBRARY_FRAME_H
