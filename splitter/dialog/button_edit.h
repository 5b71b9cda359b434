// An edit with a browse button inside its right end (file_edit, dir_edit).
// The button is a child of the edit, so the edit keeps its full place and
// size; pressing it runs the browse action given at creation.
#ifndef VELMORA_BUTTON_EDIT_H
#define VELMORA_BUTTON_EDIT_H

#include <windows.h>

#include <functional>
#include <string>

#include "ansi_name.h"
#include "child_controls.h"

namespace velmora {

class ButtonEdit {
 public:
  ButtonEdit() = default;
  ButtonEdit(const ButtonEdit&) = delete;
  ButtonEdit& operator=(const ButtonEdit&) = delete;

  // Creates the edit and its button; throws when a window cannot be made.
  // The object must outlive the edit window.
  void create(HWND parent, int id, Place place, int button_width, HFONT font,
              std::function<void()> on_browse);

  HWND edit() const { return edit_; }
  // The edit keeps its text in UTF-16 (create_child's `wide`).
  WideName text() const { return window_wide_text(edit_); }
  void set_text(const WideName& text) { SetWindowTextW(edit_, text.data()); }
  void set_text(const std::string& text) { SetWindowTextA(edit_, text.c_str()); }

 private:
  static LRESULT CALLBACK edit_proc(HWND, UINT, WPARAM, LPARAM, UINT_PTR, DWORD_PTR);

  HWND edit_ = nullptr;
  HWND button_ = nullptr;
  std::function<void()> on_browse_;
};

}  // namespace velmora

#endif  // VELMORA_BUTTON_EDIT_H
