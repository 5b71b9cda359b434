// Names from the user arrive in their wide form (the command line, the
// dialog's edits, the file pickers) and are used in the system's ANSI code
// page, which is what the engine and the set's stored name speak. Windows'
// own conversion swaps a character the code page lacks for a look-alike
// (Ł for L), so that another file would be split, or a folder of another
// name created: here such a name is refused instead.
#ifndef VELMORA_ANSI_NAME_H
#define VELMORA_ANSI_NAME_H

#include <string>

namespace velmora {

// `wide` in the ANSI code page, into `out`; false (and `out` empty) when
// one of its characters has no exact spelling there.
bool to_ansi_name(const std::wstring& wide, std::string& out);

// What the dialog and the command line say when a name cannot be spelled.
inline constexpr const char kUnspellableName[] =
    "The name cannot be spelled in the system's ANSI code page; velmora would use a "
    "look-alike name instead. Rename the file or folder, or choose another.";

}  // namespace velmora

#endif  // VELMORA_ANSI_NAME_H
