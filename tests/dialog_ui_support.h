// Works the real velmora.exe from outside, as a person would: starts it,
// finds its dialog and message boxes, types into edits, presses buttons.
// Every window is looked up among the windows of the started process only.
#ifndef VELMORA_DIALOG_UI_SUPPORT_H
#define VELMORA_DIALOG_UI_SUPPORT_H

#include <windows.h>

#include <functional>
#include <string>

namespace ui_driver {

// Polls `done` every 10 ms until it holds or `timeout_ms` pass.
bool wait_until(const std::function<bool()>& done, DWORD timeout_ms = 30000);

// The text of any window, read with WM_GETTEXT (also across processes).
std::string text_of(HWND window);

class Velmora {
 public:
  // Starts bin\velmora.exe in the current directory, with `arguments` on its
  // command line, and waits for its dialog; dialog() is null when it did not
  // appear.
  explicit Velmora(const std::string& arguments = "");
  // Ends the process if it still runs.
  ~Velmora();
  Velmora(const Velmora&) = delete;
  Velmora& operator=(const Velmora&) = delete;

  HWND dialog() const { return dialog_; }
  HANDLE process() const { return process_; }
  DWORD process_id() const { return process_id_; }

  // A control by its id, on the dialog or on its panel.
  HWND control(int id) const;
  void set_text(int id, const std::string& text) const;
  std::string text(int id) const { return text_of(control(id)); }
  // BM_CLICK, posted: a handler that opens a modal box must not block us.
  void click(int id) const;
  bool checked(int id) const;
  void set_checked(int id, bool on) const;  // clicks the box when it differs

  // A visible top-level "#32770" window of the process with this caption;
  // null when none appears within the time.
  HWND wait_for_box(const char* caption, DWORD timeout_ms = 60000) const;
  // A visible top-level "#32770" window of the process other than the dialog.
  HWND wait_for_other_dialog(DWORD timeout_ms = 30000) const;
  // Presses a button of a box (IDOK, IDYES, IDNO, IDCANCEL) and waits for the
  // box to go away.
  bool answer(HWND box, int button) const;

  // Waits for the process to end; its exit code, or STILL_ACTIVE.
  DWORD wait_for_exit(DWORD timeout_ms = 30000) const;
  bool running() const;

 private:
  HANDLE process_ = nullptr;
  DWORD process_id_ = 0;
  HWND dialog_ = nullptr;
};

// The text of a message box.
std::string box_text(HWND box);

// Runs a program (the first piece of a set) in `directory` and waits for it
// to end; false when it cannot be started or does not end in time. The
// deliverables' directory is put on the PATH so that it finds vornex.dll.
bool run_program(const std::string& program, const std::string& arguments,
                 const std::string& directory, DWORD* exit_code);

// Writes `megabytes` MiB of pseudo-random bytes to `path`.
bool write_pattern_file(const std::string& path, size_t megabytes);

// True when the two files hold the same bytes for the length of `prefix`'s
// file, and `whole` is at least that long.
bool file_starts_with(const std::string& whole, const std::string& prefix);

unsigned long long file_size(const std::string& path);

}  // namespace ui_driver

#endif  // VELMORA_DIALOG_UI_SUPPORT_H
