// section_edit: an integer edit with two spin buttons side by side inside its
// right end. The spin buttons and the Up/Down keys step by the large step,
// Page Up/Page Down by the small one; with nothing selected the keys step the
// digit at the caret instead (smart increment). Values stay within the range.
#ifndef VELMORA_SPIN_EDIT_H
#define VELMORA_SPIN_EDIT_H

#include <windows.h>

#include <cstdint>

#include "child_controls.h"
#include "spin_value.h"

namespace velmora {

class SpinEdit {
 public:
  struct Steps {
    int32_t arrows;  // spin buttons, Up and Down
    int32_t pages;   // Page Up and Page Down
  };

  SpinEdit() = default;
  SpinEdit(const SpinEdit&) = delete;
  SpinEdit& operator=(const SpinEdit&) = delete;

  // Creates the edit and its spin buttons; throws when a window cannot be
  // made. The object must outlive the edit window.
  void create(HWND parent, int id, Place place, HFONT font, SpinRange range, Steps steps,
              int32_t value);

  HWND edit() const { return edit_; }
  // The text read as a number within the range (the minimum when it is none).
  int32_t value() const;
  void set_value(int32_t value);

 private:
  static LRESULT CALLBACK edit_proc(HWND, UINT, WPARAM, LPARAM, UINT_PTR, DWORD_PTR);
  bool on_key(WPARAM key);
  void step_by(int64_t delta);

  HWND edit_ = nullptr;
  HWND spin_ = nullptr;
  SpinRange range_{0, 0};
  Steps steps_{1, 1};
};

}  // namespace velmora

#endif  // VELMORA_SPIN_EDIT_H
