// The reader side: one CabinetReader per open cabinet, over the engine's FDI
// half. Each operation takes the library lock itself; an unknown handle gets
// the failure result and touches nothing.
#ifndef VORNEX_CABINET_READER_H
#define VORNEX_CABINET_READER_H

#include <cstdint>

namespace vornex {

uint32_t open_reader(const char* cabinet_path);
bool close_reader(uint32_t handle);
int32_t reader_file_count(uint32_t handle);
bool reader_file_name(uint32_t handle, char* name_buffer, int32_t index);

// dest_dir null: write under the stored names, relative to the current
// directory. Otherwise as the exports' "_ex" forms describe.
bool extract_by_name(uint32_t handle, const char* stored_name, const char* dest_dir);
bool extract_all(uint32_t handle, const char* dest_dir);

}  // namespace vornex

#endif  // VORNEX_CABINET_READER_H
