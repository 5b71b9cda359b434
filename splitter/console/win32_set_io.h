// The set reader's I/O over Win32 handles, for /verify and /join.
#ifndef VELMORA_WIN32_SET_IO_H
#define VELMORA_WIN32_SET_IO_H

#include <windows.h>

#include <string>
#include <vector>

#include "file_identity.h"
#include "set_reader.h"

namespace velmora {

// The system's text for an error code, without its trailing period, to end
// a line with ("error N" when the system has none).
std::string system_reason(DWORD error);

// What the reader's files are: each file it opened, by volume and index,
// so that a rebuilt file never replaces one of them.
struct Win32SetIo {
  DWORD error = 0;
  std::vector<winsup::FileIdentity> opened;
  std::vector<std::string> notes;
  splitset::ReaderIo table();
};

}  // namespace velmora

#endif  // VELMORA_WIN32_SET_IO_H
