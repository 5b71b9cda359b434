// The checksum file of a set: "<first piece's name with the suffix sfv>"
// beside the first piece, in the common SFV form (a comment line, then one
// line per piece: its bare file name and the CRC-32 of the whole piece file).
#ifndef VELMORA_CHECKSUM_FILE_H
#define VELMORA_CHECKSUM_FILE_H

#include <cstdint>
#include <string>
#include <vector>

namespace velmora {

// The text of the checksum file for the set whose first piece is
// `first_piece` (a path; only its bare name and the names the piece-name rule
// derives from it are written), `piece_crcs` holding the first piece's CRC
// and then every later piece's in order. `source_name` goes into the comment;
// `extra_lines` (whole SFV lines of files beside the set that are no
// pieces, such as the library) follow the pieces' lines.
std::string checksum_file_text(const char* first_piece, const char* source_name,
                               const std::vector<uint32_t>& piece_crcs,
                               const std::string& extra_lines = "");

// Writes the checksum file beside `first_piece`: under a short name of its
// own in that folder, then renamed into place. Where it does not fit (a full disk),
// a stale checksum file of that name, which would condemn sound pieces, is
// removed and the writing is tried once more in the room that frees. Returns
// whether the checksum file is in place; a set without one is still sound.
bool write_checksum_file(const char* first_piece, const char* source_name,
                         const std::vector<uint32_t>& piece_crcs,
                         const std::string& extra_lines = "");

}  // namespace velmora

#endif  // VELMORA_CHECKSUM_FILE_H
