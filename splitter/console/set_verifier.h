// /verify: a set checked without writing anything, by the reading rules the
// rebuilders share (set_reader.h). Every piece must be there and readable,
// every ChunkRecord possible and within its file (bytes behind a data area
// get a line of their own, and the checksum file judges them), and the
// checksums must agree wherever the set carries them: the integrity record
// in the first piece (the payload's length and CRC) and the checksum file
// beside it (each whole piece file's CRC).
#ifndef VELMORA_SET_VERIFIER_H
#define VELMORA_SET_VERIFIER_H

#include <string>
#include <vector>

namespace velmora {

struct VerifyReport {
  bool sound = false;
  // One line per problem, each naming the piece (or the checksum file) it
  // concerns; for a sound set one line saying what it holds.
  std::vector<std::string> lines;
};

VerifyReport verify_set(const std::string& first_piece);

}  // namespace velmora

#endif  // VELMORA_SET_VERIFIER_H
