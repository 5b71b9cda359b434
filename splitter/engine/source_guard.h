// Whether a split would write over its own source.
//
// Every file a set consists of lives in one folder (the folder of the first
// piece) and is named by the piece-name rule: the first piece's name up to
// and including its marker, followed by "exe", "sfv", a piece number, or
// the PAR2 files' "par2" and "volE+N.par2"; the library vornex.dll lies
// beside them (set_library.h). A
// source in that folder whose name is one of those would be destroyed by the
// split that reads it, so the split is refused before anything is written.
// The folders are compared by identity (volume serial and file index), which
// agree however a folder is spelled: other case, another drive letter, "."
// and ".." detours.
#ifndef VELMORA_SOURCE_GUARD_H
#define VELMORA_SOURCE_GUARD_H

#include <cstdint>
#include <string>

#include "set_names.h"

namespace velmora {

// True when the two paths name one folder, compared by identity; when either
// cannot be opened, by their full path names ignoring case. A folder that
// does not exist is the same as no other.
bool same_folder(const char* folder_a, const char* folder_b);

// The folder part of `path` as a full path ("C:\data\x.doc" gives "C:\data",
// "C:\x.doc" gives "C:\"); empty when it cannot be formed.
std::string folder_of(const char* path);

// True when writing the set whose first piece is `first_piece` would write
// over `source`.
bool split_would_overwrite_source(const char* source, const char* first_piece,
                                  int64_t later_pieces);

}  // namespace velmora

#endif  // VELMORA_SOURCE_GUARD_H
