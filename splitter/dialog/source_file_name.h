// Which file the Split button means: the text of file_edit when a file of
// that name exists, otherwise, for a text that begins with a quote, the
// first item of the text read as a command line (so that a pasted, quoted
// path works).
#ifndef VELMORA_SOURCE_FILE_NAME_H
#define VELMORA_SOURCE_FILE_NAME_H

#include <functional>
#include <string>

namespace velmora {

// The first item of `text` read as a command line: blanks before it are
// skipped, blanks inside double quotes belong to it, the quotes themselves
// are dropped. Empty when the text holds only blanks.
std::string first_command_line_item(const std::string& text);

// The name of an existing file for `text`, or "" when neither the text nor,
// for a text whose first non-blank character is a quote, its first
// command-line item names one. `file_exists` is the platform's
// test (a file, not a directory).
std::string resolve_source_file(const std::string& text,
                                const std::function<bool(const std::string&)>& file_exists);

// The platform's test: a file (not a directory) of that name exists.
bool is_existing_file(const std::string& path);

}  // namespace velmora

#endif  // VELMORA_SOURCE_FILE_NAME_H
