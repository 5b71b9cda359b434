// Expanding the one file of a compressed set's cabinet, through libmspack.
#ifndef VELMORA_HOSTJOIN_CABINET_EXPAND_H
#define VELMORA_HOSTJOIN_CABINET_EXPAND_H

#include <string>

namespace hostjoin {

// Expands the member stored under exactly `name` from the cabinet file
// `cabinet` into the file `out_path`, and checks that it has the length the
// cabinet gives. The names the cabinet holds never choose where anything is
// written: only `out_path` is. On failure returns false with `why` saying
// what failed (out_path may then hold a partial file).
bool expand_member(const std::string& cabinet, const std::string& name,
                   const std::string& out_path, std::string& why);

}  // namespace hostjoin

#endif  // VELMORA_HOSTJOIN_CABINET_EXPAND_H
