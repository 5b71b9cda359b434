#include "spin_edit.h"

#include <commctrl.h>

#include <string>

#include "dialog_ids.h"
#include "exception_message.h"

namespace velmora {

namespace {
const UINT_PTR kSubclassId = 2;
const int kSpinWidth = 34;  // two arrow buttons of 17 pixels
}  // namespace

void SpinEdit::create(HWND parent, int id, Place place, HFONT font, SpinRange range, Steps steps,
                      int32_t value) {
  range_ = range;
  steps_ = steps;
  edit_ = create_child(parent, "EDIT", "", WS_TABSTOP | ES_AUTOHSCROLL | ES_NUMBER | WS_CLIPCHILDREN,
                       WS_EX_CLIENTEDGE, place, id, font);
  RECT client;
  GetClientRect(edit_, &client);
  // The spin control has no buddy and never moves: each press arrives as a
  // UDN_DELTAPOS notification that the edit answers by stepping its value.
  spin_ = create_child(edit_, UPDOWN_CLASSA, "", UDS_HORZ, 0,
                       {client.right - kSpinWidth, 0, kSpinWidth, client.bottom}, IDC_EDIT_SPIN,
                       nullptr);
  SendMessageA(spin_, UDM_SETRANGE32, 0, 100);
  SendMessageA(spin_, UDM_SETPOS32, 0, 50);
  SendMessageA(edit_, EM_SETMARGINS, EC_RIGHTMARGIN, MAKELPARAM(0, kSpinWidth + 2));
  set_value(value);
  if (!SetWindowSubclass(edit_, edit_proc, kSubclassId, reinterpret_cast<DWORD_PTR>(this))) {
    throw velmora::UiError("Cannot subclass the spin edit");
  }
}

int32_t SpinEdit::value() const { return spin_value_of(window_text(edit_), range_); }

void SpinEdit::set_value(int32_t value) {
  value = spin_stepped(value, 0, range_);
  SetWindowTextA(edit_, std::to_string(value).c_str());
}

void SpinEdit::step_by(int64_t delta) {
  std::string before = window_text(edit_);
  DWORD start = 0, end = 0;
  SendMessageA(edit_, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
  std::string after = std::to_string(spin_stepped(spin_value_of(before, range_), delta, range_));
  if (after == before) return;
  SetWindowTextA(edit_, after.c_str());
  if (start == end) {
    size_t caret = caret_after_replace(before, start, after);
    SendMessageA(edit_, EM_SETSEL, caret, caret);
  } else {
    SendMessageA(edit_, EM_SETSEL, 0, -1);
  }
}

bool SpinEdit::on_key(WPARAM key) {
  int direction;
  int64_t step;
  switch (key) {
    case VK_UP: direction = 1; step = steps_.arrows; break;
    case VK_DOWN: direction = -1; step = steps_.arrows; break;
    case VK_PRIOR: direction = 1; step = steps_.pages; break;
    case VK_NEXT: direction = -1; step = steps_.pages; break;
    default: return false;
  }
  DWORD start = 0, end = 0;
  SendMessageA(edit_, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
  if (start == end) {
    int64_t at_caret = caret_digit_step(window_text(edit_), start);
    if (at_caret > 0) step = at_caret;
  }
  step_by(direction * step);
  return true;
}

LRESULT CALLBACK SpinEdit::edit_proc(HWND edit, UINT message, WPARAM wparam, LPARAM lparam,
                                     UINT_PTR, DWORD_PTR data) {
  auto* self = reinterpret_cast<SpinEdit*>(data);
  try {
    switch (message) {
      case WM_KEYDOWN:
        if (self->on_key(wparam)) return 0;
        break;
      case WM_NOTIFY: {
        auto* header = reinterpret_cast<NMHDR*>(lparam);
        if (header->hwndFrom == self->spin_ && header->code == UDN_DELTAPOS) {
          auto* change = reinterpret_cast<NMUPDOWN*>(lparam);
          if (change->iDelta != 0) self->step_by(change->iDelta > 0 ? self->steps_.arrows
                                                                     : -int64_t{self->steps_.arrows});
          return TRUE;  // the spin control keeps its position
        }
        break;
      }
      case WM_HSCROLL:
      case WM_VSCROLL:
        if (reinterpret_cast<HWND>(lparam) == self->spin_) return 0;
        break;
      case WM_KILLFOCUS: {
        // Leaving the edit shows the value that a split would take.
        std::string shown = std::to_string(self->value());
        if (window_text(edit) != shown) SetWindowTextA(edit, shown.c_str());
        break;
      }
      case WM_NCDESTROY:
        RemoveWindowSubclass(edit, edit_proc, kSubclassId);
        break;
    }
  } catch (...) {
    show_exception_message(GetAncestor(edit, GA_ROOT), current_exception_text());
    return 0;
  }
  return DefSubclassProc(edit, message, wparam, lparam);
}

}  // namespace velmora
