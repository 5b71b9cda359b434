// Finding a split set's recovery volumes and the recovery set that belongs
// to it, for the repairers on both platforms (velmora.exe /repair and
// /verify, velmora-join). Portable: the caller lists its folder and reads
// through its Io table.
#ifndef VELMORA_PAR2_SET_FINDER_H
#define VELMORA_PAR2_SET_FINDER_H

#include <string>
#include <vector>

#include "par2.h"

namespace par2 {

// The base every PAR2 file of the set starts with: the first piece's name by
// the piece-name rule (the marker in any case) up to and including "VRAX"
// ("reportVRAX.exe" and "reportvrax.exe" give "reportVRAX", "reportvrax").
// Empty when the name is too long for a path.
std::string recovery_base(const std::string& first_piece_name);

// The PAR2 files among `folder_names` (a folder's file names): BASE.par2
// first (the index of the set of this name), then every other BASE*.par2,
// sorted; BASE and ".par2" match in any case.
std::vector<std::string> recovery_files(const std::vector<std::string>& folder_names,
                                        const std::string& base);

// Loads and checks the recovery set that describes the files here. When the
// PAR2 files hold more than one set (the volumes of a stale set beside a
// newer one), each is checked and the one that can repair, with the fewest
// lost slices, is kept; otherwise the one whose Main packet comes first (the
// index's). Returns check()'s result, or load()'s when nothing loads.
Result load_and_check(Repairer& repairer, const Io& io, const std::vector<std::string>& par2_names);

// Whether `a` and `b` are the same name in any case (ASCII letters).
bool same_name(const std::string& a, const std::string& b);

}  // namespace par2

#endif
