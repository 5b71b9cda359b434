// MainDialog, the splitter's only window: source file, target directory,
// section size, three options, and the Split, Break and Close buttons.
//
// - The window is a modeless dialog (class "#32770") made from an empty
//   template; every control is created in code at its place in pixels, in
//   the font Tahoma -11 px (Cyrillic character set), so neither the layout
//   nor the font follows the screen's font size.
// - Split resolves the source file name, then hands the inputs to
//   start_split (split_worker.h), which starts the worker thread. The dialog
//   learns of the end only through the worker's result box and the Split
//   button coming back.
// - Break sets break_requested. Close and the close box both arrive as
//   WM_CLOSE: the handler sets break_requested and waits for worker_finished,
//   dispatching the dialog's messages all the while, because the worker's
//   result box is owned by this dialog and cannot appear or go away while its
//   owner's thread stops answering. Then the dialog is destroyed and the
//   message loop ends.
// - While a split runs, a progress bar and a line of text appear in the
//   panel's free space below the notice (no other control moves): a marquee
//   and "Compressing" during the compression stage, then the share of the
//   payload written and the piece being written. The worker's
//   kProgressMessage drives them; at the result they are reset and hidden.
//   While the recovery volumes are made the line says "Recovery" and how
//   many.
// - The dialog's system menu holds a "Recovery volumes" submenu (none, 1,
//   2, 5 %, 10 %): the PAR2 volumes a split writes beside its set. The
//   choice holds while the dialog is open; nothing is stored anywhere.
#ifndef VELMORA_MAIN_DIALOG_H
#define VELMORA_MAIN_DIALOG_H

#include <windows.h>

#include <string>

#include "button_edit.h"
#include "spin_edit.h"
#include "unique_handle.h"

class TMainDialog {
 public:
  // Creates the dialog, shown and centred on the screen; throws
  // velmora::UiError when it cannot.
  explicit TMainDialog(HINSTANCE instance);
  ~TMainDialog();
  TMainDialog(const TMainDialog&) = delete;
  TMainDialog& operator=(const TMainDialog&) = delete;

  HWND handle() const { return dialog_; }
  // Puts a file name into file_edit (the program's one argument).
  void set_file_name(const std::string& name) { file_edit_.set_text(name); }

 private:
  static INT_PTR CALLBACK dialog_proc(HWND, UINT, WPARAM, LPARAM);
  INT_PTR on_message(UINT message, WPARAM wparam, LPARAM lparam);
  void build_controls();
  void place_on_screen();
  void draw_banner(const DRAWITEMSTRUCT& item) const;
  void on_split();
  void on_close_request();
  void on_progress();
  void add_recovery_menu();
  bool on_recovery_choice(UINT command);

  HINSTANCE instance_;
  HWND dialog_ = nullptr;
  HWND panel_ = nullptr;
  HWND split_button_ = nullptr;
  HWND checkbox1_ = nullptr;
  HWND checkbox2_ = nullptr;
  HWND checkbox3_ = nullptr;
  HWND progress_ = nullptr;
  HWND progress_text_ = nullptr;
  bool marquee_ = false;
  velmora::ButtonEdit file_edit_;
  velmora::ButtonEdit dir_edit_;
  velmora::SpinEdit section_edit_;
  winsup::UniqueFont font_;
  winsup::UniqueBitmap banner_;
  bool closing_ = false;
  // The system menu's "Recovery volumes" choice, for this dialog's life.
  UINT recovery_choice_;
};

#endif  // VELMORA_MAIN_DIALOG_H
