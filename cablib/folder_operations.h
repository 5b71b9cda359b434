// Whole directory trees added to an open builder, and the one-step builds
// (open, measure, add, close in one call).
#ifndef VORNEX_FOLDER_OPERATIONS_H
#define VORNEX_FOLDER_OPERATIONS_H

#include <cstdint>

#include "vornex.h"

namespace vornex {

bool add_folder(uint32_t handle, const char* folder_path, bool recurse, bool delete_after,
                uint32_t name_mode);
bool add_files_one_step(const char* file_list, const char* cabinet_path, bool delete_after,
                        ProgressCallback progress_callback, uint32_t name_mode);
bool add_folders_one_step(const char* folder_list, const char* cabinet_path, bool recurse,
                          bool delete_after, ProgressCallback progress_callback,
                          uint32_t name_mode);
bool add_mix_one_step(const char* folder_list, const char* file_list, const char* cabinet_path,
                      bool recurse, bool delete_after, ProgressCallback progress_callback,
                      uint32_t name_mode);

}  // namespace vornex

#endif  // VORNEX_FOLDER_OPERATIONS_H
