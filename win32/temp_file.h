// Reserving a temporary file: created exclusively under a short name of its
// own in the destination's folder, so that no file that was there is
// touched and the final rename stays on one volume.
#ifndef WINSUP_TEMP_FILE_H
#define WINSUP_TEMP_FILE_H

#include <windows.h>

#include <cstddef>

namespace winsup {

// Creates `folder` + `prefix` + `digits` hexadecimal digits + ".tmp", trying
// every number of that width once from a start that differs between calls.
// `folder` is empty or ends in '\'. Opened with `access`, shared for
// reading; its path goes to `path` (`capacity` bytes). Returns
// INVALID_HANDLE_VALUE when every name is taken or the folder refuses a new
// file (the last error says why).
HANDLE reserve_temp_file(const char* folder, const char* prefix, unsigned digits, DWORD access, char* path,
                         size_t capacity);

}  // namespace winsup

#endif  // WINSUP_TEMP_FILE_H
