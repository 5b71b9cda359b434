// The split engine: writes one split set from one source file.
//
// split_file runs on its caller's thread (the dialog's worker, or the command
// line's main thread) and reaches the caller only through SplitHooks. It
// sizes the pieces (from the job or from the free space of the target,
// asking for disks),
// optionally compresses the source into a temporary cabinet first, writes the
// first piece's data area, then every later piece, and finally puts the joiner
// image and the SplitHeader at the head of the first piece, which makes it the
// program that rebuilds the set. Unless the job says no_library, the
// splitter's own vornex.dll goes beside the first piece (set_library.h).
#ifndef VELMORA_SPLIT_ENGINE_H
#define VELMORA_SPLIT_ENGINE_H

#include <windows.h>

#include "recovery_volumes.h"
#include "set_names.h"
#include "split_result.h"
#include "split_job.h"

#include <cstdint>
#include <string>
#include <vector>

namespace velmora {

// Writes the set for `job`: the payload named in job.source_path (with
// compress the engine puts the temporary cabinet's path there) into
// job.target_directory (empty: the source's own folder). Both paths are
// used in their full form (full_path), so a relative target, '/' and ".."
// mean what they mean to the system, and the header stores the source's
// bare name. With autodetect every piece takes the free space of the target
// at the moment it is begun and section_size is not used. A source that the
// set would write over is refused with kSourceInSet before anything is
// written. The first piece is held open, shared for reading only, from its
// creation to the end (with autodetect, apart from the disk changes), so a
// second split of the same name into the same folder fails with
// kPieceFailed instead of taking it over. A read of the payload that comes
// up short ends the split with kPayloadUnreadable and removes the pieces
// written so far that are still the files this split created. Returns a
// SplitResult; with kSplitDone job.unprovable tells whether the set carries
// no checksums at all.
// With job.recovery the PAR2 recovery volumes follow a whole set (not one
// cut short by a break): over its pieces and the library beside the first
// piece, where the split placed or kept one. A set too large for PAR2 ends
// with kRecoveryTooManyPieces, volumes that cannot be made or written with
// kRecoveryNotWritten (job.recovery_problem says why); the set is complete
// either way.
SplitResult split_file(SplitJob& job, SplitHooks& hooks);

// The full form of `path` as the system resolves it (GetFullPathNameA: '/'
// becomes '\', "." and ".." are resolved without touching the disk, a
// relative path is joined to the current directory); false when it is
// empty or does not fit 259 characters, with the cause as the last error
// (ERROR_FILENAME_EXCED_RANGE for a path too long).
bool full_path(const char* path, std::string& out);

// Free bytes (available to this user) of the volume that holds the folder
// `path`, or its nearest existing parent while it does not exist yet (the
// current directory for an empty path), capped at 2,147,483,647; 0 when no
// folder along the path can be measured.
uint32_t free_space_of(const char* path);

// The folder a split writes into, as a full path without a trailing
// backslash: `target_directory`, or the source's own folder when it is
// empty. Empty when that cannot be formed.
std::string effective_target(const char* source, const char* target_directory);

// The free space of the target once it is larger than `minimum`, asking
// for another disk while it is not; 0 when the user answers No.
uint32_t wait_for_space(uint32_t minimum, const char* path, SplitHooks& hooks);

// How one block copy went.
enum class BlockCopy {
  kCopied,
  kReadShort,    // the payload could not be positioned or read in full
  kWriteFailed,  // the piece could not be positioned or took fewer bytes
};

// Copies `length` bytes (1..2048) from `source_offset` of the payload to
// `piece_offset` of the piece through `buffer`, positioning both files first.
BlockCopy copy_block(HANDLE payload, HANDLE piece, char* buffer, uint32_t source_offset,
                     uint32_t piece_offset, uint32_t length);

// Where the joiner image is read from (at offset 458,752), and beside which
// the vornex.dll put beside a set lies: the splitter's own executable by
// default; a tool or test that is not velmora.exe names it here (nullptr:
// the own executable again).
void set_joiner_image_source(const char* executable_path);

}  // namespace velmora

#endif  // VELMORA_SPLIT_ENGINE_H
