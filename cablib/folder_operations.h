// Whole directory trees added to an open builder, and the one-step builds
// (open, measure, add, close in one call).
#ifndef VORNEX_FOLDER_OPERATIONS_H
#define VORNEX_FOLDER_OPERATIONS_H

#include <cstdint>

#include "vornex.h"

namespace vornex {

// Adds every file of `folder` (and of its subdirectories when `recurse`) to
// the builder, stored by name_mode relative to base_folder; with
// delete_after, queues `folder` for removal after its contents. False after
// the first file the builder refused; nothing is added after that.
bool add_folder_tree(uint32_t handle, const char* folder, bool recurse, bool delete_after,
                     uint32_t name_mode, const char* base_folder);

// Adds the low 32 bits of the file's size to the builder's expected bytes.
// A file that cannot be opened is logged ("Cant open file - ") and gives false.
bool measure_file(uint32_t handle, const char* path);

// The measuring walk: measure_file for every file of the tree.
bool measure_folder(uint32_t handle, const char* folder, bool recurse);

// The bodies of the four exports.
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
