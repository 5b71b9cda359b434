// Repair before a join: when a piece of the set is missing or damaged and
// PAR2 recovery volumes lie beside it (BASE.par2 and BASE*.par2, any case),
// the set is mended with the PAR2 component into a private folder in the
// destination, never in the set's own folder (which may be read-only): the
// rebuilt pieces are written there, the set's other files are linked there
// by their names, and the join reads the set from there.
#ifndef VELMORA_HOSTJOIN_SET_REPAIR_H
#define VELMORA_HOSTJOIN_SET_REPAIR_H

#include <string>
#include <vector>

#include "set_join.h"

namespace hostjoin {

class RepairedCopy {
 public:
  RepairedCopy() = default;
  // Removes the private folder and everything in it.
  ~RepairedCopy();
  RepairedCopy(const RepairedCopy&) = delete;
  RepairedCopy& operator=(const RepairedCopy&) = delete;

  // Repairs where it is needed and can be done, and then points
  // request.first_piece at the private copy. Returns one line to show the
  // user (what was repaired, or why it could not be), empty when nothing
  // needed repair or there are no recovery volumes. Never fails the join
  // itself: a set left as it was is read as it is.
  std::string prepare(JoinRequest& request);

 private:
  std::string folder_;
};

}  // namespace hostjoin

#endif  // VELMORA_HOSTJOIN_SET_REPAIR_H
