// The command line's front end: runs /split through the engine with hooks of
// its own (no break, the disk prompts of /auto as message boxes, no progress
// chatter) and /verify through the set verifier, prints the result and
// gives the exit code.
#ifndef VELMORA_CONSOLE_FRONT_END_H
#define VELMORA_CONSOLE_FRONT_END_H

#include "command_line.h"

namespace velmora {

// For kSplit: the engine's result (kExitInternal after an exception); for
// kVerify: 0 for a sound set, 1 for a damaged one; for kUsage: kExitUsage;
// for kUnspellable: kExitUnspellableName.
// Never throws.
int run_command(Command& command) noexcept;

}  // namespace velmora

#endif  // VELMORA_CONSOLE_FRONT_END_H
