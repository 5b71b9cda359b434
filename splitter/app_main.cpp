// velmora.exe: initialises the application, creates MainDialog and runs the
// message loop until the dialog closes. An exception escaping start-up or
// the loop is shown in the application's exception message; the exit code is
// 0 in every case.
#include <windows.h>
#include <commctrl.h>
#include <objbase.h>


#include "child_controls.h"
#include "exception_message.h"
#include "main_dialog.h"
#include "message_pump.h"

namespace {

void initialise_application(HINSTANCE instance) {
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_UPDOWN_CLASS};
  if (!InitCommonControlsEx(&controls)) {
    throw velmora::UiError("Cannot initialise the common controls");
  }
  // The folder picker is a shell dialog and needs COM on this thread.
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  velmora::register_panel_class(instance);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  return velmora::run_guarded(
      [instance] {
        initialise_application(instance);
        TMainDialog dialog(instance);
        velmora::run_message_loop(dialog.handle());
      },
      [](const std::string& text) { velmora::show_exception_message(nullptr, text); });
}
