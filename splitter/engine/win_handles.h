// Move-only owners of the splitter's Win32 handles.
#ifndef VELMORA_WIN_HANDLES_H
#define VELMORA_WIN_HANDLES_H

#include <windows.h>

#include <utility>

namespace velmora {

// A handle whose empty value is `Empty` (INVALID_HANDLE_VALUE for files,
// null for threads), closed with CloseHandle.
template <HANDLE (*Empty)()>
class UniqueHandleT {
 public:
  UniqueHandleT() = default;
  explicit UniqueHandleT(HANDLE handle) : handle_(handle) {}
  ~UniqueHandleT() { reset(); }
  UniqueHandleT(const UniqueHandleT&) = delete;
  UniqueHandleT& operator=(const UniqueHandleT&) = delete;
  UniqueHandleT(UniqueHandleT&& other) noexcept : handle_(other.release()) {}
  UniqueHandleT& operator=(UniqueHandleT&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  HANDLE get() const { return handle_; }
  explicit operator bool() const { return handle_ != Empty(); }
  HANDLE release() { return std::exchange(handle_, Empty()); }
  void reset(HANDLE handle = Empty()) {
    if (handle_ != Empty()) CloseHandle(handle_);
    handle_ = handle;
  }

 private:
  HANDLE handle_ = Empty();
};

inline HANDLE invalid_handle_value() { return INVALID_HANDLE_VALUE; }
inline HANDLE null_handle() { return nullptr; }

using UniqueFile = UniqueHandleT<invalid_handle_value>;  // from CreateFileA
using UniqueHandle = UniqueHandleT<null_handle>;         // threads, events

}  // namespace velmora

#endif  // VELMORA_WIN_HANDLES_H
