// Where the command line's words go. velmora is a GUI program and has no
// console of its own: the text goes to the standard output it inherited when
// that is a file, a pipe or a console (a batch file's redirection), and
// otherwise to the console of the parent process, when it has one.
#ifndef VELMORA_CONSOLE_OUTPUT_H
#define VELMORA_CONSOLE_OUTPUT_H

#include <string>

namespace velmora {

// Writes `text` as it is; lines end in CR LF. Never throws.
void write_output(const std::string& text) noexcept;

}  // namespace velmora

#endif  // VELMORA_CONSOLE_OUTPUT_H
