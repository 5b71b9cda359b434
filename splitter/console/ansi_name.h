// Names from the user arrive in their wide form (the command line, the
// dialog's edits, the file pickers) and are used in the system's ANSI code
// page, which is what the engine and the set's stored name speak. Windows'
// own conversion swaps a character the code page lacks for a look-alike
// (Ł for L), so that another file would be split, or a folder of another
// name created: here such a name is refused instead.
#ifndef VELMORA_ANSI_NAME_H
#define VELMORA_ANSI_NAME_H

#include <string>
#include <vector>

namespace velmora {

// A name in its wide form, zero-terminated. (A vector rather than
// std::wstring: the library's wide string would not fit velmora.exe below
// the joiner image.)
using WideName = std::vector<wchar_t>;
WideName wide_name(const wchar_t* text);

// `wide` (zero-terminated) in the ANSI code page, into `out`; false (and
// `out` empty) when one of its characters has no exact spelling there.
bool to_ansi_name(const wchar_t* wide, std::string& out);

// What the dialog and the command line say when a name cannot be spelled.
inline constexpr const char kUnspellableName[] =
    "The name cannot be spelled in the system's ANSI code page; velmora would use a "
    "look-alike name instead. Rename the file or folder, or choose another.";

}  // namespace velmora

#endif  // VELMORA_ANSI_NAME_H
