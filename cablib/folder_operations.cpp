// Placeholder until the folder operations land: every operation fails.
#include "folder_operations.h"

namespace vornex {

bool add_folder(uint32_t, const char*, bool, bool, uint32_t) { return false; }
bool add_files_one_step(const char*, const char*, bool, ProgressCallback, uint32_t) { return false; }
bool add_folders_one_step(const char*, const char*, bool, bool, ProgressCallback, uint32_t) {
  return false;
}
bool add_mix_one_step(const char*, const char*, const char*, bool, bool, ProgressCallback,
                      uint32_t) {
  return false;
}

}  // namespace vornex
