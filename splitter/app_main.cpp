// velmora.exe: the command line decides the front end. /split, /verify and /join
// run without the dialog and end with their exit code (console_front_end.h);
// otherwise the application is initialised, MainDialog is created (with the
// file name filled in when the one argument names an existing file; with a
// message box when it cannot be spelled in the ANSI code page) and the
// message loop runs until the dialog closes. An exception escaping the
// dialog's start-up or loop is shown in the application's exception message;
// the dialog's exit code is 0 in every case.
#include <windows.h>
#include <commctrl.h>
#include <objbase.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "ansi_name.h"
#include "child_controls.h"
#include "command_line.h"
#include "console_front_end.h"
#include "exception_message.h"
#include "main_dialog.h"
#include "message_pump.h"
#include "source_file_name.h"

namespace {

void initialise_application(HINSTANCE instance) {
  INITCOMMONCONTROLSEX controls{sizeof controls,
                                ICC_STANDARD_CLASSES | ICC_UPDOWN_CLASS | ICC_PROGRESS_CLASS};
  if (!InitCommonControlsEx(&controls)) {
    throw velmora::UiError("Cannot initialise the common controls");
  }
  // The folder picker is a shell dialog and needs COM on this thread.
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  velmora::register_panel_class(instance);
}

}  // namespace

// The C runtime's reading of the wide command line (the rules of quotes and
// backslashes that CommandLineToArgvW follows), from msvcrt.dll, which is
// loaded already: the shell's own would load the window libraries, which the
// command line's front end never needs (they are imported at first call).
extern "C" int __cdecl __wgetmainargs(int* count, wchar_t*** arguments, wchar_t*** environment,
                                      int expand_wildcards, int* new_mode);

namespace {

// The arguments in their wide form, each in the ANSI code page; the index
// of the first that has no exact spelling there goes to `unspellable`.
std::vector<std::string> program_arguments(size_t& unspellable) {
  std::vector<std::string> arguments;
  unspellable = velmora::kAllSpelled;
  int count = 0, new_mode = 0;
  wchar_t** wide = nullptr;
  wchar_t** environment = nullptr;
  if (__wgetmainargs(&count, &wide, &environment, 0, &new_mode) < 0 || !wide)
    throw velmora::UiError("Cannot read the command line");
  for (int i = 1; i < count; ++i) {
    std::string text;
    if (!velmora::to_ansi_name(wide[i], text) && unspellable == velmora::kAllSpelled)
      unspellable = arguments.size();
    arguments.push_back(text);
  }
  return arguments;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  velmora::Command command;
  try {
    size_t unspellable = velmora::kAllSpelled;
    std::vector<std::string> arguments = program_arguments(unspellable);
    command = velmora::parse_command_line(arguments, unspellable);
  } catch (...) {
    return velmora::kExitInternal;
  }
  if (command.kind != velmora::Command::Kind::kDialog) return velmora::run_command(command);
  return velmora::run_guarded(
      [instance, &command] {
        initialise_application(instance);
        TMainDialog dialog(instance);
        if (!command.file_name.empty() && velmora::is_existing_file(command.file_name))
          dialog.set_file_name(command.file_name);
        if (command.file_unspellable)
          MessageBoxA(dialog.handle(), velmora::kUnspellableName, "Error", MB_OK | MB_ICONERROR);
        velmora::run_message_loop(dialog.handle());
      },
      [](const std::string& text) { velmora::show_exception_message(nullptr, text); });
}
