#include "button_edit.h"

#include <commctrl.h>


#include "dialog_ids.h"
#include "exception_message.h"

namespace velmora {

namespace {
const UINT_PTR kSubclassId = 1;
}

void ButtonEdit::create(HWND parent, int id, Place place, int button_width, HFONT font,
                        std::function<void()> on_browse) {
  on_browse_ = std::move(on_browse);
  // WS_CLIPCHILDREN: the edit must not paint over its button.
  edit_ = create_child(parent, "EDIT", "", WS_TABSTOP | ES_AUTOHSCROLL | WS_CLIPCHILDREN,
                       WS_EX_CLIENTEDGE, place, id, font, true);
  RECT client;
  GetClientRect(edit_, &client);
  button_ = create_child(edit_, "BUTTON", "...", BS_PUSHBUTTON,
                         0, {client.right - button_width, 0, button_width, client.bottom},
                         IDC_EDIT_BROWSE, font);
  SendMessageA(edit_, EM_SETMARGINS, EC_RIGHTMARGIN, MAKELPARAM(0, button_width + 2));
  if (!SetWindowSubclass(edit_, edit_proc, kSubclassId, reinterpret_cast<DWORD_PTR>(this))) {
    throw velmora::UiError("Cannot subclass the edit");
  }
}

LRESULT CALLBACK ButtonEdit::edit_proc(HWND edit, UINT message, WPARAM wparam, LPARAM lparam,
                                       UINT_PTR, DWORD_PTR data) {
  auto* self = reinterpret_cast<ButtonEdit*>(data);
  try {
    if (message == WM_COMMAND && LOWORD(wparam) == IDC_EDIT_BROWSE &&
        HIWORD(wparam) == BN_CLICKED) {
      if (self->on_browse_) self->on_browse_();
      return 0;
    }
    if (message == WM_NCDESTROY) RemoveWindowSubclass(edit, edit_proc, kSubclassId);
  } catch (...) {
    show_exception_message(GetAncestor(edit, GA_ROOT), current_exception_text());
    return 0;
  }
  return DefSubclassProc(edit, message, wparam, lparam);
}

}  // namespace velmora
