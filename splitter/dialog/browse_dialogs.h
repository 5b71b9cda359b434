// The platform's pickers behind the browse buttons.
#ifndef VELMORA_BROWSE_DIALOGS_H
#define VELMORA_BROWSE_DIALOGS_H

#include <windows.h>

#include "ansi_name.h"

namespace velmora {

// The file-open dialog (title "Files", filter "All files (*.*)", resizable),
// starting at `current` when that names an existing file. The chosen path,
// or empty when the user cancels. Names in their wide form, as the user chose
// them: whether the code page can spell them is decided at Split.
WideName pick_file(HWND owner, const wchar_t* current);

// The folder picker, starting at `current` when that names a directory. The
// chosen directory, or empty when the user cancels or picks no file-system one.
WideName pick_directory(HWND owner, const wchar_t* current);

}  // namespace velmora

#endif  // VELMORA_BROWSE_DIALOGS_H
