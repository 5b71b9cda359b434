// /repair: a split set mended from the PAR2 recovery volumes beside it, and
// the line /verify adds about them. The volumes are BASE.par2 and every
// BASE*.par2 in the first piece's folder (any case), BASE the first piece's
// name up to its marker; volumes of another recovery set (a stale one) are
// ignored. Missing and damaged files are rebuilt under temporary names in
// the set's folder and renamed into place only when their MD5 matches; a
// damaged one is kept beside the set as NAME.damaged. The checksum file is
// never written.
#ifndef VELMORA_SET_REPAIR_H
#define VELMORA_SET_REPAIR_H

#include <string>
#include <vector>

namespace velmora {

struct RepairReport {
  // Zero when the set is whole (nothing to do, or repaired), exactly when /verify
  // calls it sound; one when it cannot be repaired (nothing was changed) or the
  // repair failed.
  int exit_code = 1;
  std::vector<std::string> lines;
};

// `first_piece` need not exist: it may be the piece that was lost.
RepairReport repair_set(const std::string& first_piece);

// One line for /verify on a damaged set: whether the recovery volumes
// beside it can repair it. Empty when there are none. Changes nothing.
std::string repair_ability(const std::string& first_piece);

}  // namespace velmora

#endif  // VELMORA_SET_REPAIR_H
