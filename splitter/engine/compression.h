// The compression stage of a split: the source becomes a one-file cabinet in
// the temporary directory, built through vornex.dll, and that cabinet is the
// payload that gets split. The cabinet is removed once the set is written.
#ifndef VELMORA_COMPRESSION_H
#define VELMORA_COMPRESSION_H

#include <cstdint>

#include "split_result.h"
#include "vornex.h"

namespace velmora {

// Sources this large or larger cannot go into a cabinet.
constexpr uint32_t kMaxCabinetSource = VORNEX_MAX_SOURCE_BYTES;

// The temporary cabinet's path for `source`: the temporary directory (with its
// trailing backslash), the source path from its last backslash on (the whole
// path when it has none), then ".tmp". False when it does not fit `capacity`.
bool temp_cabinet_path(const char* source, char* out, uint32_t capacity);

// Builds the cabinet at `cabinet_path` holding `source` under its bare name
// (MSZIP). kSplitDone on success; kCompressionFailed when the source is too
// large for a cabinet, the builder cannot be opened, the add fails or the
// close reports the cabinet unwritten.
SplitResult compress_to_cabinet(const char* source, const char* cabinet_path);

// The temporary cabinet of one split. reserve() takes its name by creating
// the file exclusively: the name temp_cabinet_path gives when it is free,
// otherwise that name with a number before ".tmp" (report.doc.1.tmp, ...).
// No file that was there before is ever opened, replaced or deleted; the
// file this split created is deleted by remove() or at the latest by the
// destructor, on every way out of the split.
class TempCabinet {
 public:
  TempCabinet() = default;
  ~TempCabinet() { remove(); }
  TempCabinet(const TempCabinet&) = delete;
  TempCabinet& operator=(const TempCabinet&) = delete;

  // False when no name could be reserved (no temporary directory, a path too
  // long, or every candidate taken).
  bool reserve(const char* source);
  const char* path() const { return path_; }
  void remove();

 private:
  char path_[260] = "";
  bool owned_ = false;
};

}  // namespace velmora

#endif  // VELMORA_COMPRESSION_H
