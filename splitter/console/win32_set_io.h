// The set reader's I/O over Win32 handles, for /verify and /join.
#ifndef VELMORA_WIN32_SET_IO_H
#define VELMORA_WIN32_SET_IO_H

#include <windows.h>

#include <string>
#include <vector>

#include "set_reader.h"

namespace velmora {

// The system's text for an error code, without its trailing period.
std::string system_reason(DWORD error);

// What the reader's files are: each file it opened, by volume and index,
// so that a rebuilt file never replaces one of them.
struct Win32SetIo {
  DWORD error = 0;
  std::vector<BY_HANDLE_FILE_INFORMATION> opened;
  std::vector<std::string> notes;
  splitset::ReaderIo table();
};

// Is the file that `info` describes the file at `path` (same volume and index)?
bool same_file(const BY_HANDLE_FILE_INFORMATION& info, const std::string& path);

}  // namespace velmora

#endif  // VELMORA_WIN32_SET_IO_H
