// The library's frame: the re-entrant library lock, the handle registries'
// type, the error log and the two path routines shared by builder and reader.
#ifndef VORNEX_LIBRARY_FRAME_H
#define VORNEX_LIBRARY_FRAME_H

#include <windows.h>

#include <cstdint>
#include <map>
#include <string>

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

// Maps the handles callers hold to the library's objects. It holds pointers
// only: the opening export creates the object, the closing export destroys it
// and erases the entry.
template <typename T>
class HandleRegistry {
 public:
  // A handle that is present already keeps its existing entry.
  void register_handle(uint32_t handle, T* object) { entries_.emplace(handle, object); }
  T* find(uint32_t handle) const {
    auto it = entries_.find(handle);
    return it == entries_.end() ? nullptr : it->second;
  }
  void erase(uint32_t handle) { entries_.erase(handle); }

 private:
  std::map<uint32_t, T*> entries_;
};

// The log line for `message` stamped with `time`: "DD.MM.YYYY hh:mm:ss " and
// the message as it stands (never used as a format), without the newline.
std::string format_log_line(const SYSTEMTIME& time, const char* message);

// Appends one line to "_caberrors.log" in the current directory (text mode,
// so the line ends in CR LF). A log that cannot be opened loses the line.
void write_error_log(const char* message);

// Logs the system's message text for `code`; nothing for 0 or for a code the
// system has no text for.
void write_system_error(DWORD code);

// Creates every directory level of `path` after its first backslash: each
// prefix up to and including a further backslash. Failures are ignored.
void create_path_dirs(const char* path);

// Characters up to and including the last backslash; 0 when there is none.
uint32_t dir_part_length(const char* path);

}  // namespace vornex

#endif  // VORNEX_LIBRARY_FRAME_H
