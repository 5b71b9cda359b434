// The compression stage of a split: the source becomes a one-file cabinet in
// the temporary directory, built through vornex.dll, and that cabinet is the
// payload that gets split. The cabinet is removed once the set is written.
#ifndef VELMORA_COMPRESSION_H
#define VELMORA_COMPRESSION_H

#include <cstdint>

#include "vornex.h"

namespace velmora {

// Sources this large or larger cannot go into a cabinet.
constexpr uint32_t kMaxCabinetSource = VORNEX_MAX_SOURCE_BYTES;

// The temporary cabinet's path for `source`: the temporary directory (with its
// trailing backslash), the source path from its last backslash on (the whole
// path when it has none), then ".tmp". False when it does not fit `capacity`.
bool temp_cabinet_path(const char* source, char* out, uint32_t capacity);

// Builds the cabinet at `cabinet_path` holding `source` under its bare name
// (MSZIP). 0 on success; 6 when the source is too large for a cabinet, the
// builder cannot be opened, the add fails or the close reports the cabinet
// unwritten.
int compress_to_cabinet(const char* source, const char* cabinet_path);

// Deletes the temporary cabinet if a file exists at `cabinet_path`.
void remove_temp_cabinet(const char* cabinet_path);

}  // namespace velmora

#endif  // VELMORA_COMPRESSION_H
