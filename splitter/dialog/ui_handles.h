// Move-only owners of the GDI objects the dialog creates (font, bitmap).
#ifndef VELMORA_UI_HANDLES_H
#define VELMORA_UI_HANDLES_H

#include <windows.h>

#include <utility>

namespace velmora {

template <typename T>
class GdiObject {
 public:
  GdiObject() = default;
  explicit GdiObject(T object) : object_(object) {}
  ~GdiObject() { reset(); }
  GdiObject(GdiObject&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
  GdiObject& operator=(GdiObject&& other) noexcept {
    if (this != &other) {
      reset();
      object_ = std::exchange(other.object_, nullptr);
    }
    return *this;
  }
  GdiObject(const GdiObject&) = delete;
  GdiObject& operator=(const GdiObject&) = delete;

  T get() const { return object_; }
  explicit operator bool() const { return object_ != nullptr; }
  void reset() {
    if (object_) DeleteObject(object_);
    object_ = nullptr;
  }

 private:
  T object_ = nullptr;
};

using FontHandle = GdiObject<HFONT>;
using BitmapHandle = GdiObject<HBITMAP>;

}  // namespace velmora

#endif  // VELMORA_UI_HANDLES_H
