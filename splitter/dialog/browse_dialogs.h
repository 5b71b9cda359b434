// The platform's pickers behind the browse buttons.
#ifndef VELMORA_BROWSE_DIALOGS_H
#define VELMORA_BROWSE_DIALOGS_H

#include <windows.h>

#include <string>

namespace velmora {

// The file-open dialog (title "Files", filter "All files (*.*)", resizable),
// starting at `current` when that names an existing file. The chosen path,
// or "" when the user cancels. Names in their wide form, as the user chose
// them: whether the code page can spell them is decided at Split.
std::wstring pick_file(HWND owner, const std::wstring& current);

// The folder picker, starting at `current` when that names a directory. The
// chosen directory, or "" when the user cancels or picks no file-system one.
std::wstring pick_directory(HWND owner, const std::wstring& current);

}  // namespace velmora

#endif  // VELMORA_BROWSE_DIALOGS_H
