// One move-only owner for every kind of Win32 handle the programs hold. A
// kind is a traits type: the handle's type, its empty value and how it is
// closed. The library and the splitter use the typedefs below.
#ifndef WINSUP_UNIQUE_HANDLE_H
#define WINSUP_UNIQUE_HANDLE_H

#include <windows.h>

namespace winsup {

template <typename Traits>
class UniqueHandle {
 public:
  using Type = typename Traits::Type;

  UniqueHandle() = default;
  explicit UniqueHandle(Type value) : value_(value) {}
  ~UniqueHandle() { reset(); }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  UniqueHandle(UniqueHandle&& other) noexcept : value_(other.release()) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }

  Type get() const { return value_; }
  bool valid() const { return value_ != Traits::empty(); }
  explicit operator bool() const { return valid(); }
  Type release() {
    Type value = value_;
    value_ = Traits::empty();
    return value;
  }
  // Closes what is held (if anything) and takes `value`; false when the
  // system refused to close (its last error is set).
  bool reset(Type value = Traits::empty()) {
    Type old = value_;
    value_ = value;
    return old == Traits::empty() || Traits::close(old);
  }

 private:
  Type value_ = Traits::empty();
};

// Files from CreateFileA: empty is INVALID_HANDLE_VALUE.
struct FileTraits {
  using Type = HANDLE;
  static HANDLE empty() { return INVALID_HANDLE_VALUE; }
  static bool close(HANDLE h) { return CloseHandle(h) != FALSE; }
};
// Listings from FindFirstFileA: the same empty value, closed by FindClose.
struct FindTraits {
  using Type = HANDLE;
  static HANDLE empty() { return INVALID_HANDLE_VALUE; }
  static bool close(HANDLE h) { return FindClose(h) != FALSE; }
};
// Threads and events: empty is null.
struct KernelTraits {
  using Type = HANDLE;
  static HANDLE empty() { return nullptr; }
  static bool close(HANDLE h) { return CloseHandle(h) != FALSE; }
};
// GDI objects (fonts, bitmaps).
template <typename T>
struct GdiTraits {
  using Type = T;
  static T empty() { return nullptr; }
  static bool close(T object) { return DeleteObject(object) != FALSE; }
};
// Memory device contexts from CreateCompatibleDC.
struct MemoryDcTraits {
  using Type = HDC;
  static HDC empty() { return nullptr; }
  static bool close(HDC dc) { return DeleteDC(dc) != FALSE; }
};

using UniqueFile = UniqueHandle<FileTraits>;
using UniqueFind = UniqueHandle<FindTraits>;
using UniqueKernelHandle = UniqueHandle<KernelTraits>;
using UniqueFont = UniqueHandle<GdiTraits<HFONT>>;
using UniqueBitmap = UniqueHandle<GdiTraits<HBITMAP>>;
using UniqueMemoryDc = UniqueHandle<MemoryDcTraits>;

}  // namespace winsup

#endif  // WINSUP_UNIQUE_HANDLE_H
