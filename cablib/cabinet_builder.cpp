// Placeholder until the builder lands: every operation fails.
#include "cabinet_builder.h"

namespace vornex {

uint32_t open_builder(const char*, ProgressCallback) { return 0; }
bool add_one_file(uint32_t, const char*, bool, uint32_t, const char*) { return false; }
bool close_builder(uint32_t) { return true; }
double builder_progress(uint32_t) { return 0.0; }
bool add_expected_bytes(uint32_t, uint32_t) { return false; }
void queue_directory_removal(uint32_t, const char*) {}

}  // namespace vornex
