// Move-only owners of the kernel handles the builder side opens for itself:
// files from CreateFileA (empty value INVALID_HANDLE_VALUE) and directory
// listings from FindFirstFileA (same empty value, closed by FindClose).
#ifndef VORNEX_WIN_HANDLES_H
#define VORNEX_WIN_HANDLES_H

#include <windows.h>

namespace vornex {

template <BOOL(WINAPI* Close)(HANDLE)>
class UniqueInvalidHandle {
 public:
  UniqueInvalidHandle() = default;
  explicit UniqueInvalidHandle(HANDLE h) : handle_(h) {}
  ~UniqueInvalidHandle() { reset(); }
  UniqueInvalidHandle(const UniqueInvalidHandle&) = delete;
  UniqueInvalidHandle& operator=(const UniqueInvalidHandle&) = delete;
  UniqueInvalidHandle(UniqueInvalidHandle&& other) noexcept : handle_(other.release()) {}
  UniqueInvalidHandle& operator=(UniqueInvalidHandle&& other) noexcept {
    if (this != &other) {
      reset();
      handle_ = other.release();
    }
    return *this;
  }

  HANDLE get() const { return handle_; }
  bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }
  explicit operator bool() const { return valid(); }
  HANDLE release() {
    HANDLE h = handle_;
    handle_ = INVALID_HANDLE_VALUE;
    return h;
  }
  // Closes the handle now; false when the system refused (last error set).
  bool reset() {
    if (!valid()) return true;
    return Close(release()) != FALSE;
  }

 private:
  HANDLE handle_ = INVALID_HANDLE_VALUE;
};

using UniqueFile = UniqueInvalidHandle<&CloseHandle>;
using UniqueFind = UniqueInvalidHandle<&FindClose>;

}  // namespace vornex

#endif  // VORNEX_WIN_HANDLES_H
