// The builder side: one CabinetBuilder per open cabinet, over the engine's
// FCI half. The exports in exports.cpp and the folder operations call these;
// each takes the library lock itself.
#ifndef VORNEX_CABINET_BUILDER_H
#define VORNEX_CABINET_BUILDER_H

#include <cstdint>

#include "vornex.h"

namespace vornex {

// Opens a builder; the handle, or 0.
uint32_t open_builder(const char* cabinet_path, ProgressCallback progress_callback);

// Adds one file. base_folder (or null) is the folder that name mode 1 cuts off.
bool add_one_file(uint32_t handle, const char* file_path, bool delete_after, uint32_t name_mode,
                  const char* base_folder);

// Writes the cabinet, runs the queued deletions and releases the builder.
// False when the engine could not write the cabinet; true for a handle that
// is not open.
bool close_builder(uint32_t handle);

// The builder's progress in percent; 0.0 for a handle that is not open.
double builder_progress(uint32_t handle);

// Adds the low 32 bits of `bytes` to the builder's expected byte count (the
// folder operations' measuring). False for a handle that is not open.
bool add_expected_bytes(uint32_t handle, uint32_t bytes);

// Queues a directory for removal after the queued files are deleted.
void queue_directory_removal(uint32_t handle, const char* directory);

}  // namespace vornex

#endif  // VORNEX_CABINET_BUILDER_H
