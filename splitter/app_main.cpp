// velmora.exe: the command line decides the front end. /split and /verify
// run without the dialog and end with their exit code (console_front_end.h);
// otherwise the application is initialised, MainDialog is created (with the
// file name filled in when the one argument names an existing file) and the
// message loop runs until the dialog closes. An exception escaping the
// dialog's start-up or loop is shown in the application's exception message;
// the dialog's exit code is 0 in every case.
#include <windows.h>
#include <commctrl.h>
#include <objbase.h>

#include <cstdlib>
#include <string>
#include <vector>

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

std::vector<std::string> program_arguments() {
  std::vector<std::string> arguments;
  for (int i = 1; i < __argc; ++i) arguments.emplace_back(__argv[i]);
  return arguments;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  velmora::Command command;
  try {
    command = velmora::parse_command_line(program_arguments());
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
        velmora::run_message_loop(dialog.handle());
      },
      [](const std::string& text) { velmora::show_exception_message(nullptr, text); });
}
