// Rebuilding the file of a split set, as the joiner does on Windows.
#ifndef VELMORA_HOSTJOIN_SET_JOIN_H
#define VELMORA_HOSTJOIN_SET_JOIN_H

#include <string>

#include "codepage.h"

namespace hostjoin {

struct JoinRequest {
  std::string first_piece;  // path of the set's first piece
  std::string target;       // directory to rebuild in; empty: the current directory
  std::string codepage = kDefaultCodePage;  // the set's code page, for its stored name
};

// Rebuilds the set's file. Returns the exit code: 0 when the file is in
// place, 1 otherwise, with `message` then holding one line saying what failed
// and where anything kept lies.
//
// Everything is read and checked before anything is written, as the joiner
// does: the first piece's SplitHeader and ChunkRecord, the header's
// integrity record when it has one, and every later piece, found beside the
// first piece by the piece-name rule on its file-name part (the marker in
// any case, its letters kept). Only regular files are opened, never in a way
// that blocks. The stored name is converted from the set's code page to
// UTF-8; a header counting no piece is refused. The checksum file beside the
// first piece (suffix "sfv" or "SFV") counts only if it gives a CRC for
// every piece.
//
// The data areas are then appended in piece order to a new file under a
// temporary name in the destination. Each piece is read once, from its first
// byte, with the CRCs of its whole file and of its data area riding along; a
// piece that fails its line in the checksum file ends the join there and the
// partial output is removed.
//
// The payload's length and CRC are compared with the integrity record; a
// mismatch keeps the joined data under the temporary name. A set the record
// calls cut short by Break ends there with exit code 1: its leading part
// becomes the stored name + ".partial" (or, where that exists or a
// compressed set's cabinet is cut, stays under the temporary name). A
// compressed set's cabinet gives up its one file, the header's file_name,
// into a private folder in the destination.
//
// Last, the rebuilt file takes the source's last-write time from the record
// and is renamed into place: without a target over a file of that name, with
// a target (made full, its ".." levels resolved) never over an existing
// file, and never over a file of the set (compared by device and inode).
int join_set(const JoinRequest& request, std::string& message);

}  // namespace hostjoin

#endif  // VELMORA_HOSTJOIN_SET_JOIN_H
