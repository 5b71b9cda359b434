// Small helpers for building the dialog in pixels: create a child control,
// give it the dialog's font, read a window's text; and the panel window that
// groups the inputs.
#ifndef VELMORA_CHILD_CONTROLS_H
#define VELMORA_CHILD_CONTROLS_H

#include <windows.h>

#include <string>
#include <vector>

namespace velmora {

struct Place {
  int left, top, width, height;
};

// Creates a visible child window; throws UiError when it cannot. A `wide`
// window keeps its text in UTF-16, so that a name typed or pasted into it
// survives whole (the ANSI forms would swap characters for look-alikes).
HWND create_child(HWND parent, const char* window_class, const char* text, DWORD style,
                  DWORD ex_style, Place place, int id, HFONT font, bool wide = false);

std::string window_text(HWND window);
std::vector<wchar_t> window_wide_text(HWND window);  // zero-terminated

// The panel: a raised frame whose children take part in the dialog's tab
// order (WS_EX_CONTROLPARENT) and whose notifications (commands, notify,
// owner drawing) go on to the dialog, as if the children were the dialog's.
void register_panel_class(HINSTANCE instance);  // throws when it cannot
extern const char kPanelClass[];

}  // namespace velmora

#endif  // VELMORA_CHILD_CONTROLS_H
