// The system's text for an error code, without its closing line break.
#ifndef WINSUP_SYSTEM_ERROR_H
#define WINSUP_SYSTEM_ERROR_H

#include <windows.h>

#include <cstddef>

namespace winsup {

// Writes the text into `text` (`capacity` bytes, terminated) and returns its
// length; 0 (and an empty text) when the system has none for `code`.
size_t system_error_text(DWORD code, char* text, size_t capacity);

}  // namespace winsup

#endif  // WINSUP_SYSTEM_ERROR_H
