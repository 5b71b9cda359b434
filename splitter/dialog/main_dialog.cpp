#include "main_dialog.h"

#include <commctrl.h>

#include <iterator>
#include <string>

#include "ansi_name.h"
#include "browse_dialogs.h"
#include "dialog_font.h"
#include "dialog_ids.h"
#include "exception_message.h"
#include "message_pump.h"
#include "source_file_name.h"
#include "split_worker.h"

using velmora::Place;
using velmora::create_child;

namespace {

const int kClientWidth = 355;
const int kClientHeight = 325;
const int kBrowseButtonWidth = 20;
const velmora::SpinRange kSectionRange{0, 2000000000};
const velmora::SpinEdit::Steps kSectionSteps{10000, 10};

bool is_checked(HWND box) { return SendMessageA(box, BM_GETCHECK, 0, 0) == BST_CHECKED; }

// The system menu's recovery choices: commands below SC_SIZE whose low four
// bits are clear (the system keeps those for itself).
struct RecoveryChoice {
  UINT command;
  const char* text;
  uint32_t count;
  bool percent;
};
const RecoveryChoice kRecoveryChoices[] = {
    {0x0110, "None", 0, false}, {0x0120, "1", 1, false},    {0x0130, "2", 2, false},
    {0x0140, "5 %", 5, true},   {0x0150, "10 %", 10, true},
};
const RecoveryChoice* recovery_choice(UINT command) {
  for (const RecoveryChoice& choice : kRecoveryChoices)
    if (choice.command == command) return &choice;
  return nullptr;
}

}  // namespace

TMainDialog::TMainDialog(HINSTANCE instance)
    : instance_(instance), recovery_choice_(kRecoveryChoices[0].command) {
  font_ = velmora::make_dialog_font();
  banner_ = winsup::UniqueBitmap(static_cast<HBITMAP>(
      LoadImageA(instance, MAKEINTRESOURCEA(IDB_BANNER), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));
  if (!banner_) throw velmora::UiError("Cannot load the banner bitmap");
  CreateDialogParamA(instance, MAKEINTRESOURCEA(IDD_MAIN_DIALOG), nullptr, dialog_proc,
                     reinterpret_cast<LPARAM>(this));
  if (!dialog_) throw velmora::UiError("Cannot create the main dialog");
  try {
    build_controls();
    add_recovery_menu();
    place_on_screen();
  } catch (...) {
    DestroyWindow(dialog_);
    throw;
  }
  ShowWindow(dialog_, SW_SHOW);
  SetForegroundWindow(dialog_);
  // Through the dialog manager, so that it also restores this focus whenever
  // the dialog is activated again.
  SendMessageA(dialog_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(file_edit_.edit()), TRUE);
}

TMainDialog::~TMainDialog() {
  if (dialog_) DestroyWindow(dialog_);
}

void TMainDialog::build_controls() {
  HFONT font = font_.get();
  // Creation order is the z-order, which is the tab order.
  create_child(dialog_, "STATIC", "", SS_OWNERDRAW, 0, {-1, 0, 357, 62}, IDC_IMAGE1, font);
  panel_ = create_child(dialog_, velmora::kPanelClass, "", 0, WS_EX_CONTROLPARENT,
                        {0, 62, 355, 219}, IDC_PANEL1, font);

  create_child(panel_, "STATIC", "File path", SS_LEFTNOWORDWRAP, 0, {265, 14, 41, 13}, IDC_LABEL1, font);
  file_edit_.create(panel_, IDC_FILE_EDIT, {10, 14, 249, 21}, kBrowseButtonWidth, font, [this] {
    velmora::WideName chosen = velmora::pick_file(dialog_, file_edit_.text().data());
    if (!chosen.empty()) file_edit_.set_text(chosen);
  });
  create_child(panel_, "STATIC", "Target directory", SS_LEFTNOWORDWRAP, 0, {265, 42, 78, 13}, IDC_LABEL2,
               font);
  dir_edit_.create(panel_, IDC_DIR_EDIT, {10, 42, 249, 21}, kBrowseButtonWidth, font, [this] {
    velmora::WideName chosen = velmora::pick_directory(dialog_, dir_edit_.text().data());
    if (!chosen.empty()) dir_edit_.set_text(chosen);
  });
  create_child(panel_, "STATIC", "Section size (byte)", SS_LEFTNOWORDWRAP, 0, {170, 70, 89, 13}, IDC_LABEL3,
               font);
  section_edit_.create(panel_, IDC_SECTION_EDIT, {10, 70, 153, 22}, font, kSectionRange,
                       kSectionSteps, 0);
  checkbox1_ = create_child(panel_, "BUTTON", "Compress file", BS_AUTOCHECKBOX | WS_TABSTOP, 0,
                            {10, 108, 89, 17}, IDC_CHECKBOX1, font);
  checkbox2_ = create_child(panel_, "BUTTON", "Idle priority", BS_AUTOCHECKBOX | WS_TABSTOP, 0,
                            {10, 128, 97, 17}, IDC_CHECKBOX2, font);
  SendMessageA(checkbox2_, BM_SETCHECK, BST_CHECKED, 0);
  checkbox3_ = create_child(panel_, "BUTTON", "Autodetect section size",
                            BS_AUTOCHECKBOX | WS_TABSTOP, 0, {10, 150, 143, 17}, IDC_CHECKBOX3,
                            font);
  create_child(panel_, "STATIC",
               "To unpacking the DLLs vornex.dll and cabinet.dll \r\n"
               "must be in the system present!",
               SS_LEFTNOWORDWRAP, 0, {10, 177, 231, 26}, IDC_LABEL4, font);
  progress_text_ = create_child(panel_, "STATIC", "", SS_RIGHT | SS_NOPREFIX, 0,
                                {248, 189, 97, 13}, IDC_PROGRESS_TEXT, font);
  progress_ = create_child(panel_, PROGRESS_CLASSA, "", PBS_SMOOTH, 0, {10, 205, 335, 10},
                           IDC_PROGRESS, nullptr);
  SendMessageA(progress_, PBM_SETRANGE32, 0, 1000);
  ShowWindow(progress_text_, SW_HIDE);
  ShowWindow(progress_, SW_HIDE);

  split_button_ = create_child(dialog_, "BUTTON", "Split", BS_PUSHBUTTON | WS_TABSTOP, 0,
                               {44, 291, 75, 25}, IDC_BUTTON1, font);
  create_child(dialog_, "BUTTON", "Close", BS_PUSHBUTTON | WS_TABSTOP, 0, {236, 291, 75, 25},
               IDC_BUTTON2, font);
  create_child(dialog_, "BUTTON", "Break", BS_PUSHBUTTON | WS_TABSTOP, 0, {140, 291, 75, 25},
               IDC_BUTTON3, font);
}

void TMainDialog::add_recovery_menu() {
  HMENU system = GetSystemMenu(dialog_, FALSE);
  HMENU choices = CreatePopupMenu();
  if (!system || !choices) return;  // the dialog works without it
  for (const RecoveryChoice& choice : kRecoveryChoices)
    AppendMenuA(choices, MF_STRING, choice.command, choice.text);
  CheckMenuRadioItem(choices, kRecoveryChoices[0].command,
                     kRecoveryChoices[std::size(kRecoveryChoices) - 1].command, recovery_choice_,
                     MF_BYCOMMAND);
  AppendMenuA(system, MF_SEPARATOR, 0, nullptr);
  AppendMenuA(system, MF_POPUP | MF_STRING, reinterpret_cast<UINT_PTR>(choices),
              "Recovery volumes");
}

bool TMainDialog::on_recovery_choice(UINT command) {
  if (!recovery_choice(command)) return false;
  recovery_choice_ = command;
  CheckMenuRadioItem(GetSystemMenu(dialog_, FALSE), kRecoveryChoices[0].command,
                     kRecoveryChoices[std::size(kRecoveryChoices) - 1].command, command,
                     MF_BYCOMMAND);
  return true;
}

// Sizes the frame around a 355 x 325 client area and centres it on the screen.
void TMainDialog::place_on_screen() {
  RECT frame{0, 0, kClientWidth, kClientHeight};
  AdjustWindowRectEx(&frame, static_cast<DWORD>(GetWindowLongPtrA(dialog_, GWL_STYLE)), FALSE,
                     static_cast<DWORD>(GetWindowLongPtrA(dialog_, GWL_EXSTYLE)));
  int width = frame.right - frame.left;
  int height = frame.bottom - frame.top;
  int left = (GetSystemMetrics(SM_CXSCREEN) - width) / 2;
  int top = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;
  SetWindowPos(dialog_, nullptr, left, top, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
}

void TMainDialog::draw_banner(const DRAWITEMSTRUCT& item) const {
  winsup::UniqueMemoryDc memory(CreateCompatibleDC(item.hDC));
  if (!memory) return;
  HDC source = memory.get();
  HGDIOBJ previous = SelectObject(source, banner_.get());
  BITMAP bitmap{};
  GetObjectA(banner_.get(), sizeof bitmap, &bitmap);
  SetStretchBltMode(item.hDC, HALFTONE);
  SetBrushOrgEx(item.hDC, 0, 0, nullptr);
  StretchBlt(item.hDC, item.rcItem.left, item.rcItem.top, item.rcItem.right - item.rcItem.left,
             item.rcItem.bottom - item.rcItem.top, source, 0, 0, bitmap.bmWidth, bitmap.bmHeight,
             SRCCOPY);
  SelectObject(source, previous);
}

void TMainDialog::on_split() {
  if (closing_) return;  // a split must not start once the dialog is closing
  // Both names as the user gave them; one that the code page cannot spell
  // is refused here, before the engine could take a look-alike for it.
  std::string file_text, target;
  if (!velmora::to_ansi_name(file_edit_.text().data(), file_text) ||
      !velmora::to_ansi_name(dir_edit_.text().data(), target)) {
    MessageBoxA(dialog_, velmora::kUnspellableName, "Error", MB_OK | MB_ICONERROR);
    return;
  }
  std::string source = velmora::resolve_source_file(file_text, velmora::is_existing_file);
  // The job holds 259 characters; a longer name would name another file.
  if (source.empty() || source.size() >= sizeof(SplitJob::source_path)) {
    MessageBoxA(dialog_, "Invalid file name.", "Error", MB_OK | MB_ICONERROR);
    return;
  }
  const RecoveryChoice* recovery = recovery_choice(recovery_choice_);
  bool started = start_split(dialog_, split_button_, source.c_str(), target.c_str(),
                             section_edit_.value(), is_checked(checkbox1_),
                             is_checked(checkbox2_), is_checked(checkbox3_), recovery->count,
                             recovery->percent);
  if (!started) {
    MessageBoxA(dialog_, "Cannot start the split.", "Error", MB_OK | MB_ICONERROR);
  }
}

void TMainDialog::on_progress() {
  const ProgressState state = take_progress();
  const bool compressing = state.stage == kProgressCompressing;
  if (compressing != marquee_) {
    // A marquee needs its style while it runs, and must lose it again for
    // the bar to show a share.
    LONG_PTR style = GetWindowLongPtrA(progress_, GWL_STYLE);
    SetWindowLongPtrA(progress_, GWL_STYLE, compressing ? style | PBS_MARQUEE : style & ~PBS_MARQUEE);
    SendMessageA(progress_, PBM_SETMARQUEE, compressing ? TRUE : FALSE, 40);
    marquee_ = compressing;
  }
  if (state.stage == kProgressReset) {
    SendMessageA(progress_, PBM_SETPOS, 0, 0);
    SetWindowTextA(progress_text_, "");
    ShowWindow(progress_, SW_HIDE);
    ShowWindow(progress_text_, SW_HIDE);
    return;
  }
  if (compressing) {
    SetWindowTextA(progress_text_, "Compressing");
  } else if (state.stage == kProgressRecovery) {
    SendMessageA(progress_, PBM_SETPOS, state.permille, 0);
    std::string text = "Recovery " + std::to_string(state.piece);
    SetWindowTextA(progress_text_, text.c_str());
  } else {
    SendMessageA(progress_, PBM_SETPOS, state.permille, 0);
    std::string text = "Piece " + std::to_string(state.piece);
    SetWindowTextA(progress_text_, text.c_str());
  }
  ShowWindow(progress_, SW_SHOWNA);
  ShowWindow(progress_text_, SW_SHOWNA);
}

void TMainDialog::on_close_request() {
  if (closing_) return;  // already waiting for the worker
  closing_ = true;
  break_requested = 1;
  velmora::wait_dispatching(dialog_, [] { return worker_finished.load() != 0; });
  DestroyWindow(dialog_);
}

INT_PTR TMainDialog::on_message(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_COMMAND:
      if (HIWORD(wparam) != BN_CLICKED) return FALSE;
      switch (LOWORD(wparam)) {
        case IDC_BUTTON1: on_split(); return TRUE;
        case IDC_BUTTON3: break_requested = 1; return TRUE;
        case IDC_BUTTON2: on_close_request(); return TRUE;
        // Enter and Escape arrive as IDOK and IDCANCEL: neither does anything.
        case IDOK:
        case IDCANCEL: return TRUE;
      }
      return FALSE;
    case WM_DRAWITEM: {
      auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lparam);
      if (item->CtlID != IDC_IMAGE1) return FALSE;
      draw_banner(*item);
      return TRUE;
    }
    case WM_CLOSE:
      on_close_request();
      return TRUE;
    case WM_SYSCOMMAND:
      // Handled here, the choice takes; anything else goes on to the system.
      if (on_recovery_choice(static_cast<UINT>(wparam & 0xFFF0))) {
        SetWindowLongPtrA(dialog_, DWLP_MSGRESULT, 0);
        return TRUE;
      }
      return FALSE;
    case kProgressMessage:
      on_progress();
      return TRUE;
    case WM_DESTROY:
      // Only the close handler ends the program; a dialog destroyed because
      // start-up failed must leave no WM_QUIT behind, or the box reporting
      // the failure would vanish at once.
      if (closing_) PostQuitMessage(0);
      return TRUE;
    case WM_NCDESTROY:
      dialog_ = nullptr;
      return FALSE;
  }
  return FALSE;
}

INT_PTR CALLBACK TMainDialog::dialog_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_INITDIALOG) {
    auto* self = reinterpret_cast<TMainDialog*>(lparam);
    self->dialog_ = dialog;
    SetWindowLongPtrA(dialog, DWLP_USER, lparam);
    return FALSE;  // the constructor sets the focus once the controls exist
  }
  auto* self = reinterpret_cast<TMainDialog*>(GetWindowLongPtrA(dialog, DWLP_USER));
  if (!self) return FALSE;
  try {
    return self->on_message(message, wparam, lparam);
  } catch (...) {
    velmora::show_exception_message(dialog, velmora::current_exception_text());
    return TRUE;
  }
}
