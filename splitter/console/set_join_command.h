// /join: a set rebuilt by velmora.exe without running any of its pieces,
// with the first piece's checks, destination rules, one-line messages and
// exit codes (0 and silent when the file is in place, 1 with one line).
#ifndef VELMORA_SET_JOIN_COMMAND_H
#define VELMORA_SET_JOIN_COMMAND_H

#include <string>

namespace velmora {

// Rebuilds the set whose first piece (any name) is `first_piece` into
// `target` (empty: the current directory). Returns the exit code; `line`
// then holds the one line to show, empty on success.
int join_set(const std::string& first_piece, const std::string& target, std::string& line);

}  // namespace velmora

#endif  // VELMORA_SET_JOIN_COMMAND_H
